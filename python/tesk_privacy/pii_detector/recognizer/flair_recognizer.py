"""Flair NER (optional): present when the compiled core was built with it.

Importing this module raises ImportError otherwise.
"""

from tesk_privacy._core import _native

try:
    FlairRecognizer = _native.FlairRecognizer
except AttributeError as error:
    raise ImportError("FlairRecognizer is not part of this build of tesk_privacy") from error

__all__ = ["FlairRecognizer"]
