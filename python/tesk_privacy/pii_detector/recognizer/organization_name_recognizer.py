"""Indonesian company names introduced by PT or CV (ORGANIZATION, 0.5),
matched case-sensitively whatever the analysis flags."""

from typing import Tuple

from tesk_privacy._core import _native

OrganizationNameRecognizer = _native.OrganizationNameRecognizer

_ORGANIZATION_NAME_PATTERNS: Tuple[_native.Pattern, ...] = tuple(OrganizationNameRecognizer._default_patterns())
_ORGANIZATION_NAME_CONTEXT: Tuple[str, ...] = tuple(OrganizationNameRecognizer._default_context())

__all__ = ["OrganizationNameRecognizer"]
