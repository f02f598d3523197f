"""Facebook profile addresses (FACEBOOK_ACCOUNT, 0.8)."""

from typing import Tuple

from tesk_privacy._core import _native

FacebookAccountRecognizer = _native.FacebookAccountRecognizer

_facebook_account_patterns: Tuple[_native.Pattern, ...] = tuple(FacebookAccountRecognizer._default_patterns())
_facebook_account_context: Tuple[str, ...] = tuple(FacebookAccountRecognizer._default_context())

FacebookAccountRecognizer._facebook_account_patterns = _facebook_account_patterns  # the class's pattern table

__all__ = ["FacebookAccountRecognizer"]
