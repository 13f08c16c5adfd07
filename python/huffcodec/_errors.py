# SPDX-License-Identifier: MIT
"""The exceptions huffcodec raises for the library's failures."""

__all__ = ["Error", "HeaderError", "TruncatedError", "InputChangedError", "OutputTooLargeError",
           "from_status", "output_too_large"]


class Error(ValueError):
    """A failure the library reported.

    ``status`` is its fixed number, ``name`` its name (e.g. ``"truncatedBody"``)
    and ``message`` the library's description of it.
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


_CLASSES = {
    1: HeaderError,  # headerTooShort
    2: HeaderError,  # negativeCount
    3: HeaderError,  # sizeTooLarge
    4: TruncatedError,
    7: OutputTooLargeError,  # outputTooSmall
    9: InputChangedError,
}


def from_status(status: int, name: str, message: str) -> Error:
    """The exception for a failing status (used by the extension module)."""
    return _CLASSES.get(status, Error)(status, name, message)


def output_too_large(size: int, limit: int) -> OutputTooLargeError:
    """The exception for a header that claims ``size`` bytes, above ``limit``."""
    return OutputTooLargeError(
        7, "outputTooSmall", f"the header claims {size} bytes, more than max_output_size={limit}"
    )
