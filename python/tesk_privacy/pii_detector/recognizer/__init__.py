"""The recognizers: the 15 built-in ones, then ``TransformersRecognizer``
and ``FlairRecognizer`` when this build has them.

Every recognizer takes ``supported_language`` ("id" by default; remote
recognizers take their service settings) and can be passed to
``TextAnalyzer(additional_recognizers=[...])``.
"""

import logging

logger = logging.getLogger(__name__)

from tesk_privacy.pii_detector.recognizer.halvern_employee_id_recognizer import HalvernEmployeeIdRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.ktp_recognizer import KTPRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.npwp_recognizer import NPWPRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.organization_name_recognizer import OrganizationNameRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.project_name_recognizer import ProjectNameRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.money_recognizer import MoneyRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.family_card_number_recognizer import FamilyCardNumberRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.indonesian_phone_number_recognizer import (  # noqa: E402
    IndonesianPhoneNumberRecognizer,
)
from tesk_privacy.pii_detector.recognizer.facebook_account_recognizer import FacebookAccountRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.linkedin_account_recognizer import LinkedinAccountRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.bank_account_number_recognizer import (  # noqa: E402
    BankAccountNumberRecognizer,
)
from tesk_privacy.pii_detector.recognizer.bpjs_number_recognizer import BPJSNumberRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.halvern_ner_api_remote_recognizer import (  # noqa: E402
    HalvernNerApiRemoteRecognizer,
)
from tesk_privacy.pii_detector.recognizer.prosa_remote_recognizer import ProsaRemoteRecognizer  # noqa: E402
from tesk_privacy.pii_detector.recognizer.credit_card_recognizer import CreditCardRecognizer  # noqa: E402

__all__ = [
    "HalvernEmployeeIdRecognizer",
    "KTPRecognizer",
    "NPWPRecognizer",
    "OrganizationNameRecognizer",
    "ProjectNameRecognizer",
    "MoneyRecognizer",
    "FamilyCardNumberRecognizer",
    "IndonesianPhoneNumberRecognizer",
    "FacebookAccountRecognizer",
    "LinkedinAccountRecognizer",
    "BankAccountNumberRecognizer",
    "BPJSNumberRecognizer",
    "HalvernNerApiRemoteRecognizer",
    "ProsaRemoteRecognizer",
    "CreditCardRecognizer",
]

try:
    from tesk_privacy.pii_detector.recognizer.transformers_recognizer import TransformersRecognizer  # noqa: F401

    __all__.append("TransformersRecognizer")
except ImportError:
    logger.info("Transformers is not installed, make sure to add extra dependencies for 'transformers'")

try:
    from tesk_privacy.pii_detector.recognizer.flair_recognizer import FlairRecognizer  # noqa: F401

    __all__.append("FlairRecognizer")
except ImportError:
    logger.info("Flair is not installed, make sure to add extra dependencies for 'flair'")
