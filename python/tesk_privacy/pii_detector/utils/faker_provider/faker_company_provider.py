"""``CompanyProvider``: company names with an Indonesian legal form — "PT
...", "CV ..." or "PT ... Tbk", equally likely. The name follows the
Faker's seed; the legal form comes from the process-wide random source."""

from tesk_privacy._core import _native

CompanyProvider = _native.CompanyProvider

__all__ = ["CompanyProvider"]
