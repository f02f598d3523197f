"""13-digit BPJS social-security numbers (ID_BPJS_NUMBER), scored 0.01: reported
only when a context word (bpjs, jaminan sosial, ...) stands nearby."""

from typing import Tuple

from tesk_privacy._core import _native

BPJSNumberRecognizer = _native.BPJSNumberRecognizer

_bpjs_number_patterns: Tuple[_native.Pattern, ...] = tuple(BPJSNumberRecognizer._default_patterns())
_bpjs_number_context: Tuple[str, ...] = tuple(BPJSNumberRecognizer._default_context())

BPJSNumberRecognizer._bpjs_number_patterns = _bpjs_number_patterns  # the class's pattern table

__all__ = ["BPJSNumberRecognizer"]
