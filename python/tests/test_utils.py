"""The mapping utilities, fake values and providers as Python sees them."""

import pytest

from tesk_privacy.framework import EngineResult, Faker, OperatorResult, RecognizerResult
from tesk_privacy.pii_detector.utils.deanonymizer_mapping import (
    DeanonymizerMapping,
    create_anonymizer_mapping,
    format_duplicated_operator,
    get_dict_diff,
)
from tesk_privacy.pii_detector.utils.faker_provider import CompanyProvider, KTPProvider
from tesk_privacy.pii_detector.utils.pseudo_anonymizer_mapping import get_pseudoanonymizer_mapping


@pytest.mark.parametrize(
    "name, count, expected",
    [("<PERSON>", 2, "<PERSON_2>"), ("<PERSON_7>", 3, "<PERSON_3>"), ("Budi", 5, "Budi"), ("Budi_12", 1, "Budi"),
     ("<PERSON", 2, "PERSON")],
)
def test_format_duplicated_operator(name, count, expected):
    assert format_duplicated_operator(name, count) == expected


def test_create_anonymizer_mapping_sorts_the_callers_lists():
    text = "Siti dan Budi"
    detections = [RecognizerResult("PERSON", 9, 13, 0.9), RecognizerResult("PERSON", 0, 4, 0.9)]
    engine = EngineResult("<PERSON> dan <PERSON>", [OperatorResult("PERSON", 13, 21, "<PERSON>"),
                                                    OperatorResult("PERSON", 0, 8, "<PERSON>")])
    mapping = create_anonymizer_mapping(text, detections, engine, is_reversed=True)
    assert mapping == {"PERSON": {"<PERSON>": "Siti", "<PERSON_2>": "Budi"}}
    assert [r.start for r in detections] == [0, 9] and [i.start for i in engine.items] == [0, 13]


def test_store_is_a_value():
    store = DeanonymizerMapping()
    store.update({"PERSON": {"<PERSON>": "Budi", "<PERSON_2>": "Siti"}})
    snapshot = store.data
    snapshot["PERSON"]["<PERSON_1>"] = "changed"
    assert store.data == {"PERSON": {"<PERSON_1>": "Budi", "<PERSON_2>": "Siti"}}
    assert store == DeanonymizerMapping({"PERSON": {"<PERSON_1>": "Budi", "<PERSON_2>": "Siti"}})
    assert store != DeanonymizerMapping(store.mapping, skip_format_duplicates=True)


def test_store_mapping_reads_absent_entries_as_empty_and_writes_through():
    store = DeanonymizerMapping({"PERSON": {"<PERSON_1>": "Budi"}})
    assert store.mapping["LOCATION"] == {} and store.mapping["PERSON"]["<PERSON_2>"] == ""
    assert list(store.data) == ["PERSON", "LOCATION"] and store.data["PERSON"]["<PERSON_2>"] == ""
    view = store.mapping
    view["PERSON"]["<PERSON_3>"] = "Siti"
    del view["LOCATION"]
    view["EMAIL_ADDRESS"] = {"<EMAIL_ADDRESS_1>": "a@b.co"}
    assert store.data == {"PERSON": {"<PERSON_1>": "Budi", "<PERSON_2>": "", "<PERSON_3>": "Siti"},
                          "EMAIL_ADDRESS": {"<EMAIL_ADDRESS_1>": "a@b.co"}}
    # A diff against the store's mapping reports pairs it lacks, without adding them.
    diff = get_dict_diff(store.mapping, {"PERSON": {"<PERSON_1>": "Budi", "<PERSON_9>": "Ani"}, "NRP": {"<NRP_1>": "1"}})
    assert [(d["pii_type"], d["anonymized_value"], d["pii_value"]) for d in diff] == [
        ("PERSON", "<PERSON_9>", "Ani"), ("NRP", "<NRP_1>", "1")]
    assert "NRP" not in store.data
    with pytest.raises(KeyError):
        get_dict_diff(store.data, {"NRP": {"<NRP_1>": "1"}})


def test_entry_standing_for_nothing_leaves_its_placeholder_in_place():
    from tesk_privacy.pii_detector import TextAnalyzer, TextAnonymizer

    store = DeanonymizerMapping({"PERSON": {"<PERSON_1>": "Budi"}})
    assert store.mapping["PERSON"]["<PERSON_2>"] == ""
    anonymizer = TextAnonymizer(TextAnalyzer(), deanonymizer_mapping=store)
    assert anonymizer.deanonymize("<PERSON_1> dan <PERSON_2>") == "Budi dan <PERSON_2>"


def test_operators_keep_the_order_they_were_given_in():
    from tesk_privacy.framework import OperatorConfig
    from tesk_privacy.pii_detector import TextAnalyzer, TextAnonymizer

    anonymizer = TextAnonymizer(TextAnalyzer(), add_default_faker_operators=True, faker_seed=1)
    assert list(anonymizer.operators) == list(get_pseudoanonymizer_mapping(1))
    anonymizer.add_operators({"ZZZ": OperatorConfig("replace"), "PERSON": OperatorConfig("redact")})
    assert list(anonymizer.operators)[0] == "PERSON" and list(anonymizer.operators)[-1] == "ZZZ"
    given = {"b": OperatorConfig("replace"), "a": OperatorConfig("replace")}
    assert list(TextAnonymizer(TextAnalyzer(), operators=given).operators) == ["b", "a"]


def test_pseudoanonymizer_table_follows_its_seed():
    first, second = get_pseudoanonymizer_mapping(42), get_pseudoanonymizer_mapping(seed=42)
    assert len(first) == 34 and list(first)[:3] == ["PERSON", "EMAIL_ADDRESS", "PHONE_NUMBER"]
    assert [first["PERSON"]("Budi") for _ in range(3)] == [second["PERSON"]("ignored") for _ in range(3)]
    assert len(get_pseudoanonymizer_mapping(-1)["CRYPTO"]("x")) == 29  # any int seeds


def test_faker_with_providers():
    fake = Faker("id_ID")
    fake.seed_instance(7)
    assert isinstance(fake.add_provider(CompanyProvider), CompanyProvider)
    ktp = fake.add_provider(KTPProvider)
    assert ktp.generator is not None
    assert fake.custom_company().startswith(("PT ", "CV "))
    assert 41 <= int(fake.ktp("female")[6:8]) <= 71 and 1 <= int(fake.ktp()[6:8]) <= 31
    with pytest.raises(AttributeError):
        fake.no_such_method()
    with pytest.raises(ValueError):
        Faker("xx_XX")


def test_small_conformance_details():
    from tesk_privacy.pii_detector.custom_lemma_context_aware_enhancer import CustomLemmaContextAwareEnhancer
    from tesk_privacy.pii_detector.recognizer import ProjectNameRecognizer
    from tesk_privacy.pii_detector.utils.pseudo_anonymizer_mapping import get_pseudoanonymizer_mapping

    # No caller context: no supportive word.
    assert CustomLemmaContextAwareEnhancer._find_supportive_word_in_context(None, ["bank"]) == ""
    # Additional names are taken in their string form.
    (pattern,) = ProjectNameRecognizer._generate_patterns([123, "Nebula"])
    assert pattern.regex.endswith("|123|Nebula)\\b")
    # A fake-value generator ignores what it is given, text or not.
    generators = dict(get_pseudoanonymizer_mapping(seed=1))
    person = generators["PERSON"]
    assert isinstance(person(None), str) and isinstance(person(42), str) and isinstance(person(), str)


def test_results_json_is_what_the_command_line_writes():
    import json
    import subprocess
    import os
    from tesk_privacy.framework import results_from_json, results_to_json
    from tesk_privacy.pii_detector import TextAnalyzer

    text = "Nama: Dédé, NIK 3171011205900001"
    results = TextAnalyzer(indonesian_formats=True).analyze(text)
    written = results_to_json(text, results)
    assert [(r.entity_type, r.start, r.end) for r in results_from_json(written)] == [
        (r.entity_type, r.start, r.end) for r in results]
    assert all(item["text"] == text[item["start"]:item["end"]] for item in json.loads(written)["results"])
    cli = os.environ.get("TESK_PRIVACY_CLI")
    if cli:
        line = subprocess.run([cli, "analyze", "-"], input=text, capture_output=True, text=True, check=True).stdout
        assert json.loads(line) == json.loads(written)
    with pytest.raises(ValueError, match="not valid JSON"):
        results_from_json("{")
