"""``KTPProvider``: 16-digit KTP numbers in their structured layout (region
100000-999999, day 01-31 — 41-71 for any gender but exactly "male" —,
month, two-digit year, sequence 0001-9999), drawn from the process-wide
random source."""

from tesk_privacy._core import _native

KTPProvider = _native.KTPProvider

__all__ = ["KTPProvider"]
