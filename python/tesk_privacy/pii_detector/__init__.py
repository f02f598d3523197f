"""The PII detector: ``TextAnalyzer`` finds PII, ``TextAnonymizer``
replaces it reversibly.

Loading this package sets the framework loggers to CRITICAL, so that only
critical framework messages are emitted.
"""

import logging

from tesk_privacy import log_bridge
from tesk_privacy.pii_detector.text_analyzer import TextAnalyzer
from tesk_privacy.pii_detector.text_anonymizer import TextAnonymizer

__all__ = ["TextAnalyzer", "TextAnonymizer"]

# The framework's loggers: under the names of the outside framework the
# package once ran on, and under the recognition and anonymization layers
# of the compiled core that take its place.
for _framework_logger in ("presidio-analyzer", "presidio-anonymizer", "tesk_privacy.recognition",
                          "tesk_privacy.anonymization"):
    logging.getLogger(_framework_logger).setLevel(logging.CRITICAL)
log_bridge.sync_log_levels()
