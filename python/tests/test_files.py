# SPDX-License-Identifier: MIT
import errno
import os
import pathlib
import stat
import subprocess

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import huffcodec
from strategies import any_data

scratch = settings(suppress_health_check=[HealthCheck.function_scoped_fixture,
                                          HealthCheck.data_too_large, HealthCheck.too_slow],
                   max_examples=25)


@scratch
@given(any_data)
def test_files_round_trip_as_the_commands_write_them(tmp_path, commands, data):
    compress, uncompress = commands
    src = tmp_path / "in"
    src.write_bytes(data)
    huffcodec.compress_file(src, tmp_path / "ours.huf")
    subprocess.run([compress, src, tmp_path / "theirs.huf"], check=True, capture_output=True)
    assert (tmp_path / "ours.huf").read_bytes() == (tmp_path / "theirs.huf").read_bytes()
    assert (tmp_path / "ours.huf").read_bytes() == huffcodec.compress(data)
    huffcodec.decompress_file(str(tmp_path / "theirs.huf"), os.fsencode(tmp_path / "out"))
    assert (tmp_path / "out").read_bytes() == data


def test_the_bundled_sample_decodes_as_uncompress_does(tmp_path, source_dir, commands):
    _, uncompress = commands
    huffcodec.decompress_file(source_dir / "data/sample.huf", tmp_path / "ours")
    subprocess.run([uncompress, source_dir / "data/sample.huf", tmp_path / "theirs"], check=True,
                   capture_output=True)
    assert (tmp_path / "ours").read_bytes() == (tmp_path / "theirs").read_bytes()
    assert (tmp_path / "ours").read_bytes() == (source_dir / "data/sample.txt").read_bytes()


@scratch
@given(any_data.filter(lambda d: len(set(d)) > 1), st.data())
def test_cut_file_keeps_the_prefix_uncompress_keeps(tmp_path, commands, data, draw):
    _, uncompress = commands
    packed = huffcodec.compress(data)
    cut = draw.draw(st.integers(huffcodec.HEADER_BYTES, len(packed) - 1))
    (tmp_path / "cut.huf").write_bytes(packed[:cut])
    theirs = subprocess.run([uncompress, tmp_path / "cut.huf", tmp_path / "theirs"],
                            capture_output=True)
    try:
        huffcodec.decompress_file(tmp_path / "cut.huf", tmp_path / "ours")
        assert theirs.returncode == 0
    except huffcodec.TruncatedError:
        assert theirs.returncode != 0
    ours = (tmp_path / "ours").read_bytes()
    assert ours == (tmp_path / "theirs").read_bytes()
    assert data.startswith(ours)


def test_a_bad_header_raises_and_leaves_the_empty_output(tmp_path):
    (tmp_path / "bad.huf").write_bytes(b"\1" * 100)
    with pytest.raises(huffcodec.HeaderError):
        huffcodec.decompress_file(tmp_path / "bad.huf", tmp_path / "out")
    assert (tmp_path / "out").read_bytes() == b""


def test_missing_input_is_an_oserror_with_the_path(tmp_path):
    missing = tmp_path / "missing"
    for call in (huffcodec.compress_file, huffcodec.decompress_file):
        with pytest.raises(FileNotFoundError) as caught:
            call(missing, tmp_path / "out")
        assert caught.value.filename == str(missing)
        assert caught.value.errno == errno.ENOENT
    assert not (tmp_path / "out").exists()


def test_a_failed_compress_leaves_no_output(tmp_path):
    # Reading a directory fails after the output is created.
    (tmp_path / "out.huf").write_bytes(b"old")
    with pytest.raises(IsADirectoryError) as caught:
        huffcodec.compress_file(tmp_path, tmp_path / "out.huf")
    assert caught.value.filename == str(tmp_path)
    assert not (tmp_path / "out.huf").exists()


def test_an_unwritable_output_is_an_oserror(tmp_path):
    (tmp_path / "in").write_bytes(b"data")
    with pytest.raises(OSError) as caught:
        huffcodec.compress_file(tmp_path / "in", tmp_path / "no-dir" / "out")
    assert caught.value.filename == str(tmp_path / "no-dir" / "out")


def test_full_disk_is_an_oserror_and_a_device_is_never_removed(tmp_path):
    if not os.path.exists("/dev/full") or not stat.S_ISCHR(os.stat("/dev/full").st_mode):
        pytest.skip("no /dev/full device")
    (tmp_path / "in").write_bytes(b"some data" * 1000)
    with pytest.raises(OSError) as caught:
        huffcodec.compress_file(tmp_path / "in", "/dev/full")
    assert caught.value.errno == errno.ENOSPC
    assert stat.S_ISCHR(os.stat("/dev/full").st_mode)
    # Through a symbolic link too.
    (tmp_path / "link").symlink_to("/dev/full")
    with pytest.raises(OSError):
        huffcodec.compress_file(tmp_path / "in", tmp_path / "link")
    assert stat.S_ISCHR(os.stat("/dev/full").st_mode)
    with pytest.raises(OSError):
        huffcodec.decompress_file(io_source(tmp_path), "/dev/full")
    assert stat.S_ISCHR(os.stat("/dev/full").st_mode)


def io_source(tmp_path):
    (tmp_path / "in.huf").write_bytes(huffcodec.compress(b"some data" * 1000))
    return tmp_path / "in.huf"


def test_the_same_file_on_both_sides_is_refused(tmp_path):
    (tmp_path / "in").write_bytes(b"data")
    with pytest.raises(OSError):
        huffcodec.compress_file(tmp_path / "in", tmp_path / "in")
    assert (tmp_path / "in").read_bytes() == b"data"


def test_a_pipe_can_be_compressed(tmp_path):
    data = b"through a pipe " * 5000
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(read_end)
        os.write(write_end, data)
        os._exit(0)
    os.close(write_end)
    try:
        huffcodec.compress_file(f"/proc/self/fd/{read_end}", tmp_path / "out.huf")
    finally:
        os.close(read_end)
        os.waitpid(pid, 0)
    assert huffcodec.decompress(pathlib.Path(tmp_path / "out.huf").read_bytes()) == data


def test_a_pipe_is_copied_in_tmpdir_as_compress_copies_it(tmp_path, monkeypatch):
    read_end, write_end = os.pipe()
    os.write(write_end, b"through a pipe " * 100)  # fits the pipe: no writer process
    os.close(write_end)
    monkeypatch.setenv("TMPDIR", str(tmp_path / "missing"))
    try:
        with pytest.raises(FileNotFoundError) as caught:
            huffcodec.compress_file(f"/proc/self/fd/{read_end}", tmp_path / "out.huf")
    finally:
        os.close(read_end)
    assert caught.value.filename == "temporary file"
    assert not (tmp_path / "out.huf").exists()


@pytest.mark.parametrize("form", [str, os.fsencode, pathlib.Path])
@pytest.mark.parametrize("call, side", [(huffcodec.compress_file, 0), (huffcodec.compress_file, 1),
                                        (huffcodec.decompress_file, 0),
                                        (huffcodec.decompress_file, 1), (huffcodec.open, 0)])
def test_a_path_with_a_nul_byte_is_refused_before_anything_is_opened(tmp_path, form, call, side):
    # Cut at the NUL, the path would name victim, a good compressed file.
    victim, packed = tmp_path / "victim", huffcodec.compress(b"precious")
    for path in (victim, tmp_path / "in.huf"):
        path.write_bytes(packed)
    paths = [tmp_path / "in.huf", tmp_path / "out"]
    paths[side] = form(str(victim) + "\0.huf")
    with pytest.raises(ValueError, match="embedded null byte"):
        call(*paths[: 1 if call is huffcodec.open else 2])
    assert victim.read_bytes() == packed and len(list(tmp_path.iterdir())) == 2
