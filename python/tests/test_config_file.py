"""YAML configuration files: tesk_privacy.load_config, and TextAnalyzer and
TextAnonymizer built with config=."""

import pathlib

import pytest

import tesk_privacy
from tesk_privacy import _native
from tesk_privacy.errors import ConfigError
from tesk_privacy.pii_detector import TextAnalyzer, TextAnonymizer

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "config.yaml"

CONFIG = """
recognizers:
  - entity_type: EMPLOYEE_ID
    regex: '\\bEMP-\\d{6}\\b'
    score: 0.9
    context: [karyawan]
deny_lists:
  PROJECT: [Garuda, Merpati]
allow_list: [Merpati]
operators:
  EMPLOYEE_ID: {type: mask, masking_char: "*", chars_to_mask: 6, from_end: true}
  PROJECT: {type: replace, new_value: "<PROYEK>"}
"""
TEXT = "Karyawan EMP-123456 di proyek Garuda dan Merpati."
ENTITIES = ["EMPLOYEE_ID", "PROJECT"]


@pytest.fixture
def config_file(tmp_path):
    path = tmp_path / "privacy.yaml"
    path.write_text(CONFIG, encoding="utf-8")
    return path


def test_load_config_reads_every_section(config_file):
    for source in (config_file, str(config_file)):
        config = tesk_privacy.load_config(source)
        assert isinstance(config, tesk_privacy.PrivacyConfig)
        # One recognizer per language, the pattern first, then the deny list.
        assert [(r.supported_entity, r.supported_language) for r in config.recognizers] == [
            ("EMPLOYEE_ID", "id"), ("EMPLOYEE_ID", "en"), ("PROJECT", "id"), ("PROJECT", "en")]
        assert all(isinstance(r, _native.PatternRecognizer) for r in config.recognizers)
        assert config.recognizers[0].patterns[0].regex == r"\bEMP-\d{6}\b"
        assert config.recognizers[2].deny_list == ["Garuda", "Merpati"]
        assert config.allow_list == ["Merpati"]
        assert list(config.operators) == ENTITIES
        assert config.operators["EMPLOYEE_ID"].operator_name == "mask"
        assert config.operators["EMPLOYEE_ID"].params == {"masking_char": "*", "chars_to_mask": 6, "from_end": True}
    assert tesk_privacy.parse_config(CONFIG).allow_list == ["Merpati"]


def test_example_file_loads():
    config = tesk_privacy.load_config(EXAMPLE)
    assert config.recognizers and config.allow_list
    assert config.operators["ID_KTP"].operator_name == "encrypt"


def test_analyzer_with_config_finds_custom_pattern_and_spares_allow_list(config_file):
    analyzer = TextAnalyzer(config=config_file)
    found = [(r.entity_type, TEXT[r.start:r.end]) for r in analyzer.analyze(TEXT, entities=ENTITIES)]
    assert sorted(found) == [("EMPLOYEE_ID", "EMP-123456"), ("PROJECT", "Garuda")]
    # An allow list of the call's own replaces the configuration's.
    found = [TEXT[r.start:r.end] for r in analyzer.analyze(TEXT, entities=["PROJECT"], allow_list=["Garuda"])]
    assert found == ["Merpati"]
    assert [[TEXT[r.start:r.end] for r in rs] for rs in analyzer.analyze_batch([TEXT], entities=["PROJECT"])] == [
        ["Garuda"]]


def test_anonymizer_with_config_applies_its_operators_and_allow_list(config_file):
    config = tesk_privacy.load_config(config_file)
    analyzer = TextAnalyzer(config=config)
    anonymizer = TextAnonymizer(analyzer, config=config)
    # Replacement values are numbered (skip_format_duplicates=False).
    expected = "Karyawan EMP-****** di proyek <PROYEK_1> dan Merpati."
    assert anonymizer.anonymize(TEXT, entities=ENTITIES) == expected
    assert anonymizer.anonymize_batch([TEXT], entities=ENTITIES) == [expected]
    assert anonymizer.deanonymize("proyek <PROYEK_1>") == "proyek Garuda"
    # Operators given explicitly win over the configuration's.
    explicit = TextAnonymizer(analyzer, operators={}, config=config)
    assert "EMP-******" not in explicit.anonymize(TEXT, entities=ENTITIES)
    # Without a config of its own, the anonymizer keeps the analyzer's allow list.
    assert "Merpati" in TextAnonymizer(analyzer).anonymize(TEXT, entities=ENTITIES)


@pytest.mark.parametrize(
    "text, line, column, message",
    [
        ("allow_list: Jakarta\n", 1, 13, "allow_list must be a list, not a string"),
        ("recognizers:\n  - entity_type: X\n    regex: '(unclosed'\n", 3, 12, "the regex does not compile"),
        ("recognizers:\n  - entity_type: X\n    regex: a\n    score: 2\n", 4, 12, "not between 0 and 1"),
        ("operators:\n  PERSON: {type: custom}\n", 2, 18, "custom operator needs code"),
        ("operators:\n  PERSON: {type: mask, chars_to_mask: 2}\n", 2, 11, "masking_char"),
        ("allow_list: [a\n", 2, 1, "end of sequence flow"),
    ],
)
def test_bad_config_raises_config_error_with_line_and_column(tmp_path, text, line, column, message):
    path = tmp_path / "bad.yaml"
    path.write_text(text, encoding="utf-8")
    for call in (lambda: tesk_privacy.load_config(path), lambda: TextAnalyzer(config=str(path)),
                 lambda: TextAnonymizer(TextAnalyzer(), config=path)):
        with pytest.raises(ConfigError) as error:
            call()
        assert isinstance(error.value, ValueError)
        assert str(error.value).startswith(f"{path}:{line}:{column}: ")
        assert message in str(error.value)
        assert (error.value.source, error.value.line, error.value.column) == (str(path), line, column)


def test_unreadable_config_and_wrong_argument_type(tmp_path):
    missing = tmp_path / "missing.yaml"
    with pytest.raises(ConfigError, match="cannot open the file") as error:
        tesk_privacy.load_config(missing)
    assert (error.value.line, error.value.column) == (0, 0)
    with pytest.raises(TypeError, match="config must be a path or a PrivacyConfig"):
        TextAnalyzer(config=42)
