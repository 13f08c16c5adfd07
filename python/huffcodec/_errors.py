# SPDX-License-Identifier: MIT
"""The exceptions huffcodec raises for the library's failures.

Only defined here: the extension module takes the classes once as it loads,
and picks the class, name and text of each failure itself.
"""

__all__ = ["Error", "HeaderError", "TruncatedError", "InputChangedError", "OutputTooLargeError"]


class Error(ValueError):
    """A failure the library reported.

    ``status`` is its fixed number, ``name`` its name (e.g. ``"truncatedBody"``)
    and ``message`` the library's description of it (followed, for
    :class:`OutputTooLargeError`, by the sizes).
    """

    def __init__(self, status: int, name: str, message: str) -> None:
        super().__init__(f"{message} ({name})")
        self.status = status
        self.name = name
        self.message = message

    def __reduce__(self):
        # Picklable, so that it crosses from a Dask worker to the client.
        return (type(self), (self.status, self.name, self.message))


class HeaderError(Error):
    """The 1024-byte count header is missing, cut short, or not valid."""


class TruncatedError(Error):
    """The body ends before the last code does."""


class InputChangedError(Error):
    """A file changed between the two passes of compression."""


class OutputTooLargeError(Error):
    """The header claims more bytes than the caller's ``max_output_size``.

    Raised before anything of that size is allocated or written. Its status is
    the library's ``outputTooSmall``: the room the caller allows is too small.
    """

