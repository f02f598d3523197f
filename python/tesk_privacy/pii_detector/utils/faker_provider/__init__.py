"""Fake-value providers for Indonesian data, added to a ``Faker``::

    fake = Faker()
    fake.add_provider(CompanyProvider)
    fake.add_provider(KTPProvider)
    fake.custom_company()   # e.g. "PT Atlas Logistics Tbk"
    fake.ktp("female")      # day field 41-71
"""

from tesk_privacy.pii_detector.utils.faker_provider.faker_company_provider import CompanyProvider
from tesk_privacy.pii_detector.utils.faker_provider.faker_ktp_provider import KTPProvider

__all__ = ["CompanyProvider", "KTPProvider"]
