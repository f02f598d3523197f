"""FlairRecognizer with taggers written in Python, its failure log line, and
the module's behaviour when the build lacks it."""

import logging

import pytest

from conftest import run_python_json
from tesk_privacy import _native

pytestmark = pytest.mark.skipif(not hasattr(_native, "FlairRecognizer"), reason="built without the Flair tagger")

TEXT = "Budi Santoso tinggal di Jakarta dan bekerja di PT Maju."
SPANS = [(0, 12, "PER", 0.98765), (24, 31, "LOC", 0.5), (47, 54, "ORG", 0.871), (36, 43, "MISC", 0.9)]


def make_tagger(kind, predict_body):
    """A tagger subclassing SequenceTagger, or any object with predict()."""
    from tesk_privacy.pii_detector.recognizer.flair_recognizer import SequenceTagger

    base = SequenceTagger if kind == "subclass" else object

    class Tagger(base):
        kept = []

        def predict(self, sentence):
            self.kept.append(sentence)  # kept past the call: must stay usable
            predict_body(sentence)

    return Tagger()


def add_spans(sentence):
    for start, end, tag, score in SPANS:
        sentence.add_span("ner", start, end, tag, score)


@pytest.mark.parametrize("kind", ["subclass", "duck-typed"])
@pytest.mark.parametrize(
    "entities, expected",
    [
        (None, [("LOCATION", 24, 31, 0.5), ("PERSON", 0, 12, 0.99), ("ORGANIZATION", 47, 54, 0.87)]),
        (["ORGANIZATION", "PERSON"], [("ORGANIZATION", 47, 54, 0.87), ("PERSON", 0, 12, 0.99)]),
        (["EMAIL_ADDRESS"], []),
    ],
)
def test_python_taggers_drive_the_recognizer(kind, entities, expected):
    from tesk_privacy.pii_detector.recognizer.flair_recognizer import FlairRecognizer

    tagger = make_tagger(kind, add_spans)
    before = FlairRecognizer.MODEL_CACHE
    recognizer = FlairRecognizer(supported_language="fr", model=tagger)
    assert recognizer.model is tagger
    assert FlairRecognizer.MODEL_CACHE == before
    assert list(FlairRecognizer.PRESIDIO_EQUIVALENCES.items()) == [("PER", "PERSON"), ("LOC", "LOCATION"), ("ORG", "ORGANIZATION")]
    results = recognizer.analyze(TEXT, entities)
    assert [(r.entity_type, r.start, r.end, r.score) for r in results] == expected
    assert all(r.analysis_explanation.recognizer == "FlairRecognizer" for r in results)
    assert [s.text for s in tagger.kept[0].get_spans("ner")] == ["Budi Santoso", "Jakarta", "bekerja", "PT Maju"]


@pytest.mark.parametrize(
    "body, message",
    [
        ("raise ValueError('model exploded')", "model exploded"),
        ("sentence.add_span('ner', 0, 99, 'PER', 0.9)", "span [0, 99) does not lie inside a text of 4 characters"),
    ],
)
def test_failed_prediction_is_logged_and_yields_nothing(body, message):
    from tesk_privacy.pii_detector.recognizer.flair_recognizer import FlairRecognizer

    records = []

    class Keep(logging.Handler):
        def emit(self, record):
            records.append((record.name, record.levelname, record.getMessage()))

    namespace = {}
    exec(f"def predict(sentence):\n    {body}\n", namespace)
    handler = Keep()
    logging.getLogger("tesk_privacy").addHandler(handler)
    try:
        assert FlairRecognizer(model=make_tagger("subclass", namespace["predict"])).analyze("Budi", None) == []
    finally:
        logging.getLogger("tesk_privacy").removeHandler(handler)
    assert records == [
        ("tesk_privacy.pii_detector.recognizer.flair_recognizer", "ERROR", "Error during Flair model prediction: " + message)
    ]


def test_unsupported_language_and_text_analyzer_use():
    from tesk_privacy.pii_detector import TextAnalyzer
    from tesk_privacy.pii_detector.recognizer.flair_recognizer import FlairRecognizer

    with pytest.raises(ValueError, match="^Unsupported language: fr$"):
        FlairRecognizer(supported_language="fr")
    analyzer = TextAnalyzer(additional_recognizers=[FlairRecognizer("id", model=make_tagger("duck", add_spans))])
    found = {(r.entity_type, r.start, r.end) for r in analyzer.analyze(TEXT, entities=["PERSON"])}
    assert ("PERSON", 0, 12) in found


def test_without_the_native_recognizer_the_module_fails_and_the_package_leaves_it_out():
    got = run_python_json(
        """
import json, logging
records = []
class Keep(logging.Handler):
    def emit(self, record):
        records.append([record.name, record.levelname, record.getMessage()])
logging.getLogger().addHandler(Keep())
logging.getLogger().setLevel(logging.INFO)
from tesk_privacy import _native
del _native.FlairRecognizer
try:
    import tesk_privacy.pii_detector.recognizer.flair_recognizer
    error = None
except ImportError as e:
    error = [str(e), type(e.__cause__).__name__]
import tesk_privacy.pii_detector.recognizer as r
print(json.dumps({"error": error, "records": records, "all": r.__all__}))
"""
    )
    message = "Flair is not installed, make sure to add extra dependencies for 'flair'"
    assert got["error"] == [message, "AttributeError"]
    assert ["tesk_privacy.pii_detector.recognizer", "INFO", message] in got["records"]
    assert "FlairRecognizer" not in got["all"]
