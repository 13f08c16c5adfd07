# SPDX-License-Identifier: MIT
"""Inputs that reach the codec's corners: any bytes, few symbols, long runs."""

from hypothesis import strategies as st

few_symbols = st.builds(
    lambda alphabet, picks: bytes(alphabet[i % len(alphabet)] for i in picks),
    st.lists(st.integers(0, 255), min_size=1, max_size=3, unique=True),
    st.lists(st.integers(0, 1000), max_size=5000),
)
long_runs = st.lists(st.tuples(st.integers(0, 255), st.integers(1, 20000)), max_size=8).map(
    lambda runs: b"".join(bytes([value]) * length for value, length in runs)
)
any_data = st.one_of(st.binary(max_size=5000), few_symbols, long_runs)
