"""tesk_privacy: finds personally identifiable information (PII) in
Indonesian and English text and replaces it reversibly.

Import what you need from its sub-packages:

    from tesk_privacy.pii_detector import TextAnalyzer, TextAnonymizer

    analyzer = TextAnalyzer()
    anonymizer = TextAnonymizer(text_analyzer=analyzer)
    safe = anonymizer.anonymize("Budi tinggal di Bandung")
    original = anonymizer.deanonymize(safe)

A YAML configuration file gives recognizers of one's own, deny and allow
lists and operators per entity type (see :mod:`tesk_privacy.config`)::

    config = tesk_privacy.load_config("privacy.yaml")
    analyzer = TextAnalyzer(config=config)
    anonymizer = TextAnonymizer(text_analyzer=analyzer, config=config)

``tesk_privacy.framework`` holds the recognition and anonymization framework
classes (``PatternRecognizer``, ``EntityRecognizer``, ``OperatorConfig``, ...)
for writing recognizers and operators in Python; ``tesk_privacy.log_bridge``
controls how the compiled core's log records reach :mod:`logging`.
"""

from tesk_privacy._core import _native
from tesk_privacy.config import PrivacyConfig, load_config, parse_config

#: The library's version.
__version__: str = _native.__version__

__all__: list = ["load_config", "parse_config", "PrivacyConfig"]
