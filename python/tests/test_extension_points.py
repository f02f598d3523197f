"""Recognizers, operators and analyzers written in Python, called from C++."""

import gc
import threading
import weakref

import pytest

from tesk_privacy.framework import (
    AnalysisExplanation,
    AnalyzerEngine,
    AnonymizerEngine,
    EntityRecognizer,
    NlpEngineProvider,
    OperatorConfig,
    Pattern,
    PatternRecognizer,
    RecognizerRegistry,
    RecognizerResult,
    RemoteRecognizer,
)
from tesk_privacy.pii_detector import TextAnalyzer, TextAnonymizer
from tesk_privacy.pii_detector.analyzer import BaseTextAnalyzer


class BadgeRecognizer(PatternRecognizer):
    """HB-nnnnn badges; HB-00000 is a placeholder, HB-99999 always valid."""

    def __init__(self):
        super().__init__(
            supported_entity="BADGE",
            patterns=[Pattern("badge", r"\bHB-\d{5}\b", 0.4)],
            supported_language="en",
            context=["badge"],
        )
        self.seen = []

    def validate_result(self, pattern_text):
        self.seen.append(pattern_text)
        return {"HB-00000": False, "HB-99999": True}.get(pattern_text)


class ShoutRecognizer(EntityRecognizer):
    """Words in capitals, with an explanation and metadata of its own."""

    def __init__(self, supported_language="en"):
        super().__init__(supported_entities=["SHOUT"], supported_language=supported_language)
        self.artifacts = []

    def load(self):
        self.loaded = True

    def analyze(self, text, entities, nlp_artifacts=None):
        self.artifacts.append(nlp_artifacts)
        out = []
        start = None
        for i, ch in enumerate(text + " "):
            if ch.isupper() and start is None:
                start = i
            elif not ch.isupper() and start is not None:
                if i - start > 2:
                    explanation = AnalysisExplanation("ShoutRecognizer", 0.7, textual_explanation="capitals")
                    out.append(RecognizerResult("SHOUT", start, i, 0.7, explanation, {"loud": True, "length": i - start}))
                start = None
        return out


def engine_with(*recognizers, enhancer=None):
    registry = RecognizerRegistry(supported_languages=["en"])
    for r in recognizers:
        registry.add_recognizer(r)
    return AnalyzerEngine(registry, NlpEngineProvider().create_engine(), ["en", "id"], enhancer)


def spans(results):
    return sorted((r.entity_type, r.start, r.end, round(r.score, 2)) for r in results)


def test_python_pattern_recognizer_hooks_decide_candidates():
    badge = BadgeRecognizer()
    results = engine_with(badge).analyze("HB-12345 HB-00000 HB-99999", "en")
    assert spans(results) == [("BADGE", 0, 8, 0.4), ("BADGE", 18, 26, 1.0)]
    assert badge.seen == ["HB-12345", "HB-00000", "HB-99999"]


def test_python_entity_recognizer_runs_with_nlp_artifacts_and_keeps_its_records():
    shout = ShoutRecognizer()
    assert shout.loaded and shout.name == "ShoutRecognizer" and shout.supported_entities == ["SHOUT"]
    (result,) = engine_with(shout).analyze("we said STOP now", "en")
    assert (result.entity_type, result.start, result.end, result.score) == ("SHOUT", 8, 12, 0.7)
    assert result.analysis_explanation.textual_explanation == "capitals"
    assert result.recognition_metadata["loud"] is True and result.recognition_metadata["length"] == 4
    assert result.recognition_metadata[RecognizerResult.RECOGNIZER_NAME_KEY] == "ShoutRecognizer"
    assert shout.artifacts[0].tokens == ["we", "said", "STOP", "now"]


def test_additional_recognizers_run_inside_the_text_analyzer():
    shout, badge = ShoutRecognizer("id"), BadgeRecognizer()
    analyzer = TextAnalyzer(additional_recognizers=[shout, badge])
    results = analyzer.analyze("Kata STOP di sini")
    assert ("SHOUT", 5, 9, 0.7) in spans(results)
    assert len(shout.artifacts) == 1 and badge.seen == []  # the badge recognizer serves "en" only


def test_overridden_analyze_can_call_the_pattern_matching():
    class Capped(PatternRecognizer):
        def __init__(self):
            super().__init__("NUMBER", [Pattern("digits", r"\d+", 0.9)])

        def analyze(self, text, entities, nlp_artifacts=None, regex_flags=None):
            results = super().analyze(text, entities, nlp_artifacts, regex_flags)
            for r in results:
                r.score = min(r.score, 0.2)
            return results

    assert spans(engine_with(Capped()).analyze("a 12 b 345", "en")) == [("NUMBER", 2, 4, 0.2), ("NUMBER", 7, 10, 0.2)]


def test_pattern_scores_can_be_changed_after_construction():
    badge = BadgeRecognizer()
    badge.patterns[0].score = 0.55
    badge.context = ["lencana"]
    assert badge.patterns[0].score == 0.55 and badge.context == ["lencana"]
    assert spans(badge.analyze("HB-12345", [])) == [("BADGE", 0, 8, 0.55)]


def test_recognizers_live_as_long_as_the_registry_uses_them():
    registry = RecognizerRegistry()
    shout = ShoutRecognizer()
    registry.add_recognizer(shout)
    alive = weakref.ref(shout)
    del shout
    gc.collect()
    assert alive() is not None
    assert spans(AnalyzerEngine(registry).analyze("HELLO", "en")) == [("SHOUT", 0, 5, 0.7)]
    del registry
    gc.collect()
    assert alive() is None


def test_recognizer_mistakes_are_reported():
    class NoAnalyze(EntityRecognizer):
        pass

    class ReturnsNone(RemoteRecognizer):
        def __init__(self):
            super().__init__(["X"], "ReturnsNone", "en", "1")

        def analyze(self, text, entities, nlp_artifacts=None):
            return None

    class Raises(EntityRecognizer):
        def __init__(self):
            super().__init__(["X"])

        def analyze(self, text, entities, nlp_artifacts=None):
            raise ZeroDivisionError("inside analyze")

    with pytest.raises(TypeError, match="without an analyze"):
        NoAnalyze(["X"])
    with pytest.raises(TypeError, match="ReturnsNone.analyze.. must return a list"):
        engine_with(ReturnsNone()).analyze("x", "en")
    with pytest.raises(ZeroDivisionError, match="inside analyze"):
        engine_with(Raises()).analyze("x", "en")


def test_python_callable_as_custom_operator():
    seen = []

    def redact_length(original):
        seen.append(original)
        return "#" * len(original)

    operators = {
        "PERSON": OperatorConfig("custom", {"lambda": redact_length}),
        "LOCATION": OperatorConfig("mask", {"masking_char": "*", "chars_to_mask": 3, "from_end": True}),
    }
    assert operators["PERSON"].params["lambda"] is redact_length
    assert operators["LOCATION"].params == {"masking_char": "*", "chars_to_mask": 3, "from_end": True}
    out = AnonymizerEngine().anonymize(
        "Budi di Bandung", [RecognizerResult("PERSON", 0, 4, 0.9), RecognizerResult("LOCATION", 8, 15, 0.9)], operators
    )
    assert out.text == "#### di Band***"
    assert [(i.entity_type, i.text, i.operator) for i in out.items] == [
        ("PERSON", "####", "custom"),
        ("LOCATION", "Band***", "mask"),
    ]
    assert seen == ["Budi"]


@pytest.mark.parametrize(
    "params, error",
    [
        ({"lambda": lambda s: 5}, TypeError),  # must return a str
        ({"lambda": lambda s: 1 / 0}, ZeroDivisionError),  # raised as is
    ],
)
def test_custom_operator_failures(params, error):
    with pytest.raises(error):
        AnonymizerEngine().anonymize("Budi", [RecognizerResult("PERSON", 0, 4, 0.9)],
                                     {"PERSON": OperatorConfig("custom", params)})


@pytest.mark.parametrize("chars_to_mask, from_end", [(True, False), (2, 1)])
def test_bool_and_int_parameters_keep_their_type(chars_to_mask, from_end):
    # True is also an int: "chars_to_mask" must arrive as an int, "from_end" as a bool.
    with pytest.raises(ValueError):
        OperatorConfig("mask", {"masking_char": "*", "chars_to_mask": chars_to_mask, "from_end": from_end})


class ListAnalyzer(BaseTextAnalyzer):
    """Finds the given names; records how it was called."""

    def __init__(self, names):
        self.names = names
        self.calls = []

    def analyze(self, text, language, entities=None, score_threshold=None, allow_list=None,
                allow_list_match="exact", regex_flags=26, **kwargs):
        self.calls.append(dict(language=language, score_threshold=score_threshold, kwargs=kwargs))
        return [RecognizerResult("PERSON", text.find(n), text.find(n) + len(n), 0.9) for n in self.names if n in text]


def test_python_analyzer_serves_the_anonymizer():
    analyzer = ListAnalyzer(["Budi", "Siti"])
    anonymizer = TextAnonymizer(text_analyzer=analyzer)
    assert anonymizer.anonymize("Budi dan Siti", language="en", context=["nama"], correlation_id="x") == (
        "<PERSON_1> dan <PERSON_2>"
    )
    assert analyzer.calls == [dict(language="en", score_threshold=0.46, kwargs=dict(context=["nama"], correlation_id="x"))]
    assert anonymizer.anonymize("budi lagi") == "<PERSON_1> lagi"
    assert anonymizer.deanonymize("<PERSON_2> dan <person_1>") == "Siti dan Budi"
    with pytest.raises(TypeError, match="multiple values for keyword argument 'score_threshold'"):
        anonymizer.anonymize("Budi", score_threshold=0.1)


def test_threads_share_engines_while_registries_change():
    badge = BadgeRecognizer()
    shout = ShoutRecognizer()
    engine = engine_with(badge, shout)
    errors = []

    def analyse():
        try:
            for _ in range(50):
                got = spans(engine.analyze("STOP at HB-12345 now", "en"))
                assert got == [("BADGE", 8, 16, 0.4), ("SHOUT", 0, 4, 0.7)]
        except Exception as e:  # pragma: no cover - reported below
            errors.append(e)

    def grow():
        registry = RecognizerRegistry()
        for _ in range(50):
            registry.add_recognizer(ShoutRecognizer())
            engine.registry.supported_languages = ["en"]

    threads = [threading.Thread(target=analyse) for _ in range(4)] + [threading.Thread(target=grow)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []


def test_registry_cannot_change_from_inside_an_analysis():
    registry = RecognizerRegistry()

    class Meddler(EntityRecognizer):
        def __init__(self):
            super().__init__(["X"])

        def analyze(self, text, entities, nlp_artifacts=None):
            registry.add_recognizer(ShoutRecognizer())
            return []

    registry.add_recognizer(Meddler())
    with pytest.raises(RuntimeError, match="while an analysis runs"):
        AnalyzerEngine(registry).analyze("x", "en")


def test_analyze_forwards_the_engines_extra_keywords():
    analyzer = TextAnalyzer()
    text = "Kartu HB-12345 milik BUDI"
    badge, shout = BadgeRecognizer(), ShoutRecognizer(supported_language="id")
    badge_id = PatternRecognizer("BADGE", [Pattern("badge", r"\bHB-\d{5}\b", 0.9)], supported_language="id")
    found = analyzer.analyze(text, "id", ad_hoc_recognizers=[badge, badge_id, shout], correlation_id="c-1",
                             return_decision_process=True)
    # Only the recognizers for the language run, this call only.
    assert {(r.entity_type, text[r.start:r.end]) for r in found} >= {("BADGE", "HB-12345"), ("SHOUT", "BUDI")}
    assert badge.seen == []
    assert not any(r.entity_type == "BADGE" for r in analyzer.analyze(text, "id"))
    # NLP output computed before is what the recognizers see.
    artifacts = analyzer.analyzer.nlp_engine.process_text(text, "id")
    analyzer.analyze(text, "id", ad_hoc_recognizers=[shout], nlp_artifacts=artifacts)
    assert shout.artifacts[-1].tokens == artifacts.tokens
    with pytest.raises(TypeError, match="unexpected keyword argument 'colour'"):
        analyzer.analyze(text, "id", colour="red")
    anonymizer = TextAnonymizer(analyzer)
    assert anonymizer.anonymize(text, ad_hoc_recognizers=[badge_id]) == "Kartu <BADGE_1> milik BUDI"
    with pytest.raises(TypeError, match="unexpected keyword argument 'colour'"):
        anonymizer.anonymize(text, colour="red")


def test_python_subclasses_of_every_base_are_called_from_the_engine():
    from tesk_privacy.framework import ContextAwareEnhancer, CreditCardRecognizer as FrameworkCardRecognizer
    from tesk_privacy.pii_detector.custom_lemma_context_aware_enhancer import CustomLemmaContextAwareEnhancer
    from tesk_privacy.pii_detector.recognizer import (
        CreditCardRecognizer, HalvernNerApiRemoteRecognizer, KTPRecognizer, ProjectNameRecognizer)

    class Doubling(CustomLemmaContextAwareEnhancer):
        def enhance_using_context(self, text, raw_results, nlp_artifacts, recognizers, context=None):
            results = super().enhance_using_context(text, raw_results, nlp_artifacts, recognizers, context)
            for r in results:
                r.score = min(1.0, r.score * 2)
            self.names = [r.name for r in recognizers]
            return results

    class Flat(ContextAwareEnhancer):
        def enhance_using_context(self, text, raw_results, nlp_artifacts, recognizers, context=None):
            for r in raw_results:
                r.score = 0.25
            return raw_results

    class AnyLuhn(FrameworkCardRecognizer):
        def validate_result(self, pattern_text):
            return True

    class NotThisNik(KTPRecognizer):
        def invalidate_result(self, pattern_text):
            return pattern_text == "3171011205900001"

    class LocalNer(HalvernNerApiRemoteRecognizer):
        def analyze(self, text, entities, nlp_artifacts=None):
            return [RecognizerResult("PERSON", 0, 4, 0.9)]

    base = ContextAwareEnhancer(0.35, 0.4, 5, 0)
    assert (base.context_similarity_factor, base.min_score_with_context_similarity,
            base.context_prefix_count, base.context_suffix_count) == (0.35, 0.4, 5, 0)
    text = "Budi 4111 1111 1111 1112 3171011205900001 3171011205900002 Project Nebula"
    recognizers = [AnyLuhn(), NotThisNik(supported_language="en"), LocalNer("http://127.0.0.1:9/none"),
                   ProjectNameRecognizer(supported_language="en"), CreditCardRecognizer(supported_language="en")]
    doubling = Doubling()
    found = engine_with(*recognizers, enhancer=doubling).analyze(text, "en")
    spans = {(r.entity_type, text[r.start:r.end]) for r in found}
    assert {("CREDIT_CARD", "4111 1111 1111 1112"), ("ID_KTP", "3171011205900002"), ("PERSON", "Budi"),
            ("PROJECT", "Project Nebula")} <= spans
    assert ("ID_KTP", "3171011205900001") not in spans
    assert len(doubling.names) == len(recognizers)  # the engine handed its recognizers over
    assert all(r.score == 0.25 for r in engine_with(*recognizers, enhancer=Flat(0.35, 0.4, 5, 0)).analyze(text, "en"))
    with pytest.raises(TypeError, match="does not implement enhance_using_context"):
        engine_with(*recognizers, enhancer=base).analyze(text, "en")


def test_python_fake_value_providers():
    from tesk_privacy.framework import BaseProvider, Faker

    class ShoeProvider(BaseProvider):
        def shoe_size(self):
            return str(self.generator.random_int(36, 46))

    fake = Faker("id_ID")
    fake.seed_instance(3)
    provider = fake.add_provider(ShoeProvider)
    assert isinstance(provider, ShoeProvider) and provider.generator is not None
    assert 36 <= int(fake.shoe_size()) <= 46
    with pytest.raises(TypeError, match="BaseProvider subclass or instance"):
        fake.add_provider(int)
