"""The library's own exceptions. Each subclasses the built-in type these
errors were raised as before, so ``except ValueError`` and
``except RuntimeError`` still catch them:

- :class:`InputTooLargeError` (ValueError): a text longer than the
  anonymizer's ``max_text_length``.
- :class:`RegexError` (ValueError): a pattern that cannot be compiled.
- :class:`ConfigError` (ValueError): a configuration file that cannot be
  read or is not valid. The message is "PATH:LINE:COLUMN: problem"; the
  attributes ``source``, ``line`` and ``column`` (1-based, 0 when the
  problem has no place in the file) say where.
- :class:`MatchLimitError` (RuntimeError): a pattern that went over its
  backtracking bound; the analysis did not finish.
- :class:`ModelFormatError` (RuntimeError): a named-entity model file that is
  truncated, corrupt or of another version.
- :class:`ModelNotFoundError` (RuntimeError): a transformer model that is
  neither a folder nor in the local hub cache (builds with transformers).
- :class:`MappingStoreError` (RuntimeError): a shared mapping store that
  cannot be read, locked or written.
"""

from tesk_privacy._core import _native

InputTooLargeError = _native.InputTooLargeError
RegexError = _native.RegexError
ConfigError = _native.ConfigError
MatchLimitError = _native.MatchLimitError
ModelFormatError = _native.ModelFormatError
MappingStoreError = _native.MappingStoreError
ModelNotFoundError = getattr(_native, "ModelNotFoundError", RuntimeError)

__all__ = [
    "InputTooLargeError",
    "RegexError",
    "ConfigError",
    "MatchLimitError",
    "ModelFormatError",
    "ModelNotFoundError",
    "MappingStoreError",
]
