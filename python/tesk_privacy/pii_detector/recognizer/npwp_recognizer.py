"""NPWP tax numbers in their punctuated form NN.NNN.NNN.N-NNN.NNN, reported
as ID_NPWP with 0.5."""

from typing import Tuple

from tesk_privacy._core import _native

NPWPRecognizer = _native.NPWPRecognizer

_NPWP_PATTERNS: Tuple[_native.Pattern, ...] = tuple(NPWPRecognizer._default_patterns())
_NPWP_CONTEXT: Tuple[str, ...] = tuple(NPWPRecognizer._default_context())

__all__ = ["NPWPRecognizer"]
