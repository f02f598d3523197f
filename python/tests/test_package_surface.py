"""What the packages export, in which order, and what loading them does."""

import importlib

import pytest

from conftest import run_python_json
from tesk_privacy import _native

# Optional recognizers this build has, in export order.
OPTIONAL_RECOGNIZERS = [name for name in ("TransformersRecognizer", "FlairRecognizer") if hasattr(_native, name)]
# What loading the recognizer package logs for each one a build lacks.
MISSING_LINES = {
    "TransformersRecognizer": "Transformers is not installed, make sure to add extra dependencies for 'transformers'",
    "FlairRecognizer": "Flair is not installed, make sure to add extra dependencies for 'flair'",
}

EXPORTS = [
    ("tesk_privacy", ["load_config", "parse_config", "PrivacyConfig"]),
    ("tesk_privacy.pii_detector", ["TextAnalyzer", "TextAnonymizer"]),
    (
        "tesk_privacy.pii_detector.recognizer",
        [
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
        + OPTIONAL_RECOGNIZERS,
    ),
    ("tesk_privacy.pii_detector.utils", []),
    ("tesk_privacy.pii_detector.utils.faker_provider", ["CompanyProvider", "KTPProvider"]),
]


@pytest.mark.parametrize("module, names", EXPORTS)
def test_exports_in_order(module, names):
    mod = importlib.import_module(module)
    assert list(mod.__all__) == names
    for name in names:
        assert getattr(mod, name) is not None


@pytest.mark.parametrize(
    "module, names",
    [
        ("tesk_privacy.pii_detector.utils.deanonymizer_mapping", ["DeanonymizerMapping", "create_anonymizer_mapping"]),
        ("tesk_privacy.pii_detector.utils.pseudo_anonymizer_mapping", ["get_pseudoanonymizer_mapping"]),
        ("tesk_privacy.pii_detector.utils.spacy_model_loader", ["ensure_spacy_model", "load_spacy_model"]),
        ("tesk_privacy.pii_detector.constants", ["Entities", "TESK_PRIVACY_ENTITIES", "RecognizerResult"]),
        ("tesk_privacy.pii_detector.analyzer", ["BaseTextAnalyzer"]),
        ("tesk_privacy.pii_detector.anonymizer", ["Operation", "BaseTextAnonymizer"]),
        ("tesk_privacy.pii_detector.recognizer.ktp_recognizer", ["KTPRecognizer"]),
    ],
)
def test_modules_import_by_path(module, names):
    mod = importlib.import_module(module)
    for name in names:
        assert hasattr(mod, name), f"{module}.{name}"


def test_loading_the_recognizer_package_reports_missing_optional_recognizers_once():
    got = run_python_json(
        """
import json, logging
records = []
class Keep(logging.Handler):
    def emit(self, record):
        records.append([record.name, record.levelname, record.getMessage()])
logging.getLogger().addHandler(Keep())
logging.getLogger().setLevel(logging.INFO)
import tesk_privacy.pii_detector.recognizer as r
import tesk_privacy.pii_detector.recognizer
print(json.dumps({"records": records, "all": r.__all__}))
"""
    )
    name = "tesk_privacy.pii_detector.recognizer"
    missing = [[name, "INFO", line] for cls, line in MISSING_LINES.items() if cls not in OPTIONAL_RECOGNIZERS]
    assert [r for r in got["records"] if r[0] == name] == missing
    assert len(got["all"]) == 15 + len(OPTIONAL_RECOGNIZERS)


def test_loading_pii_detector_silences_framework_warnings():
    # A recognizer reporting a span outside the text makes the analyzer
    # engine drop it with a warning; after pii_detector is loaded no record
    # below CRITICAL comes from the framework.
    code = """
import json, logging
records = []
class Keep(logging.Handler):
    def emit(self, record):
        records.append([record.name, record.levelname])
logging.getLogger().addHandler(Keep())
from tesk_privacy.framework import AnalyzerEngine, EntityRecognizer, RecognizerRegistry, RecognizerResult
LOAD_PII_DETECTOR
class Liar(EntityRecognizer):
    def __init__(self):
        super().__init__(["X"])
    def analyze(self, text, entities, nlp_artifacts=None):
        return [RecognizerResult("X", 0, 99, 1.0)]
AnalyzerEngine(RecognizerRegistry([Liar()])).analyze("short", "en")
print(json.dumps({"records": records,
                  "levels": [logging.getLogger(n).level for n in ("presidio-analyzer", "presidio-anonymizer")]}))
"""
    without = run_python_json(code.replace("LOAD_PII_DETECTOR", ""))
    assert ["tesk_privacy.recognition.analyzer_engine", "WARNING"] in without["records"]

    loaded = run_python_json(code.replace("LOAD_PII_DETECTOR", "import tesk_privacy.pii_detector"))
    assert loaded["records"] == []
    assert loaded["levels"] == [50, 50]


def test_top_level_package_changes_no_logger():
    got = run_python_json(
        """
import json, logging
import tesk_privacy
print(json.dumps(sorted(n for n in logging.Logger.manager.loggerDict if "presidio" in n)))
"""
    )
    assert got == []
