"""C++ exceptions arrive as Python's built-in exceptions."""

import pytest

from tesk_privacy import _native
from tesk_privacy.framework import AnalyzerEngine, OperatorConfig, Pattern, PatternRecognizer
from tesk_privacy.pii_detector.utils.deanonymizer_mapping import DeanonymizerMapping, get_dict_diff
from tesk_privacy.pii_detector.utils.spacy_model_loader import load_spacy_model


@pytest.mark.parametrize(
    "kind, python_type",
    [
        ("invalid_argument", ValueError),
        ("out_of_range", KeyError),
        ("runtime_error", RuntimeError),
        ("OSError", OSError),
        ("FileNotFoundError", FileNotFoundError),
        ("ImportError", ImportError),
        ("AttributeError", AttributeError),
        ("TimeoutExpired", TimeoutError),
    ],
)
def test_exception_kinds(kind, python_type):
    with pytest.raises(python_type) as error:
        _native._raise(kind, "what went wrong")
    assert type(error.value) is python_type
    expected = "'what went wrong'" if python_type is KeyError else "what went wrong"
    assert str(error.value) == expected


def test_key_error_carries_the_missing_key():
    with pytest.raises(KeyError) as error:
        get_dict_diff({"PERSON": {}}, {"PERSON": {"<PERSON_1>": "Budi"}})
    assert error.value.args == ("<PERSON_1>",)
    # A store reads a missing entry as "" instead.
    assert get_dict_diff(DeanonymizerMapping(), {"PERSON": {"<PERSON_1>": "Budi"}}) == [
        {"pii_type": "PERSON", "anonymized_value": "<PERSON_1>", "pii_value": "Budi"}
    ]


@pytest.mark.parametrize(
    "call, python_type, message",
    [
        (lambda: OperatorConfig("shred"), ValueError, "shred"),
        (lambda: PatternRecognizer("X", [Pattern("bad", "(unclosed", 0.5)]), ValueError, ""),
        (lambda: PatternRecognizer("X"), ValueError, "patterns or with deny list"),
        (lambda: AnalyzerEngine().analyze("text", "xx"), ValueError, "xx"),
        (lambda: load_spacy_model("xx_no_such_model", auto_install=False), OSError, "Could not load spaCy model 'xx_no_such_model'"),
        (lambda: AnalyzerEngine().analyze("lone \ud800 surrogate", "en"), UnicodeEncodeError, "surrogates"),
        (lambda: AnalyzerEngine().analyze(b"bytes", "en"), TypeError, "text must be a str"),
    ],
)
def test_library_errors_from_python(call, python_type, message):
    with pytest.raises(python_type, match=message):
        call()


def test_model_still_missing_after_installation_names_the_load_error_as_cause(tmp_path, monkeypatch):
    from tesk_privacy.pii_detector.utils.spacy_model_loader import ensure_spacy_model

    # An installer that reports success without installing anything.
    uv = tmp_path / "uv"
    uv.write_text("#!/bin/sh\nexit 0\n")
    uv.chmod(0o755)
    monkeypatch.setenv("PATH", "%s:/usr/bin:/bin" % tmp_path)
    monkeypatch.setenv("UV_VIRTUAL_ENV", str(tmp_path))
    with pytest.raises(RuntimeError, match="'xx_no_such_model' could not be loaded after installation.") as error:
        ensure_spacy_model("xx_no_such_model")
    assert isinstance(error.value.__cause__, OSError)
    assert str(error.value.__cause__).startswith("Could not load spaCy model 'xx_no_such_model'")


def test_library_errors_have_classes_of_their_own():
    from tesk_privacy.errors import MatchLimitError, RegexError

    with pytest.raises(RegexError) as bad_pattern:
        PatternRecognizer("X", [Pattern("bad", "(unclosed", 0.5)])
    assert isinstance(bad_pattern.value, ValueError)
    runaway = PatternRecognizer("X", [Pattern("runaway", r"^(a|aa)+$", 0.5)])
    with pytest.raises(MatchLimitError) as over_bound:
        runaway.analyze("a" * 60 + "!", ["X"])
    assert isinstance(over_bound.value, RuntimeError)


def test_anonymizer_limits_and_keep_going_as_on_the_command_line():
    from tesk_privacy.errors import InputTooLargeError
    from tesk_privacy.framework import EntityRecognizer
    from tesk_privacy.pii_detector import TextAnalyzer, TextAnonymizer

    class Broken(EntityRecognizer):
        def __init__(self):
            super().__init__(["X"], supported_language="id")

        def analyze(self, text, entities, nlp_artifacts=None):
            raise ZeroDivisionError("broken")

    analyzer = TextAnalyzer(additional_recognizers=[Broken()])
    limited = TextAnonymizer(analyzer, max_text_length=10)
    with pytest.raises(InputTooLargeError) as too_long:
        limited.anonymize("NIK 3171011205900001")
    assert isinstance(too_long.value, ValueError)
    with pytest.raises(ZeroDivisionError):
        TextAnonymizer(analyzer).anonymize("NIK 3171011205900001")
    going_on = TextAnonymizer(analyzer, keep_going=True)
    assert going_on.anonymize("NIK 3171011205900001") == "NIK <ID_KTP_1>"
    assert going_on.detection_failures == 1


def test_out_of_range_thresholds_and_unknown_entity_types_are_value_errors():
    from tesk_privacy.framework import Pattern, PatternRecognizer
    from tesk_privacy.pii_detector import TextAnalyzer, TextAnonymizer

    analyzer = TextAnalyzer()
    anonymizer = TextAnonymizer(analyzer)
    for call in (
        lambda: analyzer.analyze("Budi", score_threshold=5),
        lambda: analyzer.analyze("Budi", score_threshold=-0.1),
        lambda: analyzer.analyze("Budi", score_threshold="0.5"),
        lambda: analyzer.analyze_batch(["Budi"], score_threshold=1.5),
        lambda: analyzer.analyze("Budi", entities=["PERSN"]),
        lambda: analyzer.analyze_batch(["Budi"], entities=["PERSN"]),
        lambda: anonymizer.anonymize("Budi", entities=["PERSN"]),
        lambda: anonymizer.anonymize("Budi", analyzer_score_threshold=2),
        lambda: anonymizer.anonymize_batch(["Budi"], entities=["PERSN"]),
    ):
        with pytest.raises(ValueError):
            call()
    # The edges of the range and every type a recognizer reports are fine,
    # ad hoc recognizers' types included.
    assert analyzer.analyze("Budi Santoso", entities=["PERSON"], score_threshold=0) != []
    assert analyzer.analyze("Budi Santoso", score_threshold=1) == []
    order = PatternRecognizer("ORDER_ID", patterns=[Pattern("order", r"KX-\d{5}", 0.9)], supported_language="id")
    found = analyzer.analyze("pesanan KX-12345", entities=["ORDER_ID"], ad_hoc_recognizers=[order])
    assert [r.entity_type for r in found] == ["ORDER_ID"]
