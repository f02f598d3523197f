"""``TextAnonymizer``: detects PII with an analyzer, replaces it (bracketed
placeholders by default, realistic fake values on request), remembers every
replacement, and puts the originals back on request::

    anonymizer = TextAnonymizer(text_analyzer=TextAnalyzer())
    safe = anonymizer.anonymize("Budi dan Siti di Bandung")
    # "<PERSON_1> dan <PERSON_2> di <LOCATION_1>"
    anonymizer.deanonymize(safe)

The store of replacements accumulates across texts until
:meth:`TextAnonymizer.reset_deanonymizer_mapping`: an original recorded from
one text is replaced in every later text too, always by the same
placeholder. The output is the input rewritten from the whole store —
longest original first, whole words, ignoring letter case.

Calls on one instance are serialized (it holds the store); the analysis runs
with the GIL released.
"""

from typing import Any, Dict, List, Optional, Sequence

from tesk_privacy import log_bridge
from tesk_privacy._core import _native
from tesk_privacy._records import ConflictResolutionStrategy
from tesk_privacy.config import ConfigSource, _resolve
from tesk_privacy.pii_detector.analyzer import DEFAULT_REGEX_FLAGS, BaseTextAnalyzer
from tesk_privacy.pii_detector.anonymizer import BaseTextAnonymizer
from tesk_privacy.pii_detector.text_analyzer import TextAnalyzer, _check_selection, _engine_extras
from tesk_privacy.pii_detector.utils.deanonymizer_mapping import DeanonymizerMapping, MappingDataType
from tesk_privacy.pii_detector.utils.streaming_deanonymizer import StreamingDeanonymizer

# The keyword arguments anonymize() hands to the analyzer itself.
_ANALYZE_KEYWORDS = ("text", "entities", "language", "score_threshold", "allow_list", "allow_list_match", "regex_flags")


def _runs_in_core(analyzer: Any) -> bool:
    # A TextAnalyzer whose analyze() is not overridden runs entirely in C++.
    return isinstance(analyzer, TextAnalyzer) and type(analyzer).analyze is TextAnalyzer.analyze


class TextAnonymizer(BaseTextAnonymizer):
    """The anonymizer component.

    ``text_analyzer``: a :class:`TextAnalyzer` or any ``BaseTextAnalyzer``
    (written in Python, it is called with keyword arguments).
    ``operators``: entity type -> ``OperatorConfig``; types without one
    become "<TYPE>". ``add_default_faker_operators``: replace every type
    that has a fake-value generator by realistic fake values (seeded with
    ``faker_seed``; ``faker_locale`` "en_US" or "id_ID"); ``operators`` is
    then ignored. ``deanonymizer_mapping``: a store to continue.
    ``skip_format_duplicates``: keep repeated placeholders unnumbered; None
    means True exactly when ``operators`` is given.

    As on the command line: ``keep_going=True`` goes on without a recognizer
    that fails (logged, and counted in :attr:`detection_failures`) instead of
    raising; ``max_text_length`` makes ``anonymize`` refuse longer texts
    (code points) with :class:`tesk_privacy.errors.InputTooLargeError`;
    ``reproducible_fake_values=True`` makes every fake value follow
    ``faker_seed`` (by default the legal form of fake companies and fake
    KTP numbers are drawn from a process-wide unseeded source).

    ``config``: a configuration file's path or a
    :class:`tesk_privacy.config.PrivacyConfig`. Its operators apply when
    ``operators`` is not given, and its allow list is the default
    ``allow_list`` of :meth:`anonymize` and :meth:`anonymize_batch`. Without
    a config, the allow list of a :class:`TextAnalyzer` built with one is the
    default. Its recognizers belong to the analyzer:
    ``TextAnalyzer(config=...)``.
    """

    def __init__(
        self,
        text_analyzer: BaseTextAnalyzer,
        operators: Optional[Dict[str, Any]] = None,
        add_default_faker_operators: bool = False,
        faker_seed: Optional[int] = 42,
        anonymizer_engine: Optional[Any] = None,
        deanonymizer_mapping: Optional[DeanonymizerMapping] = None,
        skip_format_duplicates: Optional[bool] = False,
        *,
        faker_locale: str = "en_US",
        keep_going: bool = False,
        max_text_length: Optional[int] = None,
        reproducible_fake_values: bool = False,
        config: Optional[ConfigSource] = None,
    ) -> None:
        if not callable(getattr(text_analyzer, "analyze", None)):
            raise TypeError("text_analyzer must have an analyze() method")
        log_bridge.sync_log_levels()
        privacy_config = _resolve(config)
        if privacy_config is not None:
            if operators is None:
                operators = privacy_config.operators or None
            self._allow_list: Optional[List[str]] = privacy_config.allow_list or None
        else:
            # An analyzer written in Python applies its own default itself.
            self._allow_list = getattr(text_analyzer, "allow_list", None) if _runs_in_core(text_analyzer) else None
        #: The framework's anonymizer engine (an ``AnonymizerEngine``).
        self.anonymizer = anonymizer_engine if anonymizer_engine is not None else _native.AnonymizerEngine()
        self._analyzer = text_analyzer
        self._analyzer_in_core = _runs_in_core(text_analyzer)
        self._native = _native.TextAnonymizer(
            text_analyzer._native if self._analyzer_in_core else text_analyzer,  # type: ignore[attr-defined]
            operators,
            add_default_faker_operators,
            faker_seed,
            self.anonymizer,
            deanonymizer_mapping,
            skip_format_duplicates,
            faker_locale,
            keep_going,
            max_text_length,
            reproducible_fake_values,
        )

    @property
    def operators(self) -> Optional[Dict[str, Any]]:
        """Entity type -> ``OperatorConfig`` (a new dict on every read), or None."""
        return self._native.operators

    @property
    def skip_format_duplicates(self) -> bool:
        return self._native.skip_format_duplicates

    @property
    def detection_failures(self) -> int:
        """Recognizer failures gone past with ``keep_going`` so far."""
        return self._native.detection_failures

    @property
    def deanonymizer_mapping(self) -> MappingDataType:
        """anonymized -> original per entity type (a new dict on every read)."""
        return self._native.deanonymizer_mapping

    @property
    def anonymizer_mapping(self) -> MappingDataType:
        """original -> anonymized per entity type (a new dict on every read)."""
        return self._native.anonymizer_mapping

    def anonymize_batch(
        self,
        texts: Sequence[str],
        entities: Optional[List[str]] = None,
        language: str = "id",
        analyzer_score_threshold: float = 0.46,
        threads: int = 1,
    ) -> List[str]:
        """The texts anonymized in order, as successive ``anonymize`` calls
        would: the same placeholders and fake values whatever ``threads``.

        Detection runs on ``threads`` threads with the GIL released (an
        analyzer written in Python runs on one); replacement runs in order.
        The first text that fails raises, after the texts before it were
        recorded in the mapping. The configuration's allow list applies.
        """
        _check_selection(self._analyzer, entities, analyzer_score_threshold)
        return self._native.anonymize_batch(
            list(texts), entities, language, analyzer_score_threshold, threads, self._allow_list
        )

    def anonymize(  # type: ignore[override]
        self,
        text: str,
        entities: Optional[List[str]] = None,
        language: str = "id",
        conflict_resolution: Optional[ConflictResolutionStrategy] = None,
        analyzer_score_threshold: float = 0.46,
        allow_list: Optional[List[str]] = None,
        allow_list_match: str = "exact",
        regex_flags: int = DEFAULT_REGEX_FLAGS,
        **kwargs: Any,
    ) -> str:
        """``text`` with every recorded original (from this and earlier texts)
        replaced by its placeholder. ``allow_list`` None means the
        configuration's. An entity type no recognizer reports, or a
        threshold outside 0..1, raises ValueError. Further keyword arguments
        (for instance ``context`` or ``ad_hoc_recognizers``) go to the
        analyzer."""
        if allow_list is None:
            allow_list = self._allow_list
        for key in _ANALYZE_KEYWORDS:
            if key in kwargs:
                raise TypeError(f"analyze() got multiple values for keyword argument '{key}'")
        if self._analyzer_in_core:
            kwargs = _engine_extras(kwargs) if kwargs else {}
            _check_selection(self._analyzer, entities, analyzer_score_threshold, kwargs.get("ad_hoc_recognizers") or ())
        context = kwargs.pop("context", None)
        return self._native.anonymize(
            text,
            entities,
            language,
            conflict_resolution,
            analyzer_score_threshold,
            allow_list,
            allow_list_match,
            regex_flags,
            context,
            kwargs,
        )

    def deanonymize(self, text: str, tolerant: bool = False) -> str:
        """``text`` with every stored anonymized value replaced by its original.

        ``tolerant=True`` also restores placeholders as language models
        rewrite them ("<person_1>", "[PERSON_1]", "PERSON_1", "< PERSON_1 >")
        when the placeholder is in the mapping, and nothing else.
        """
        return self._native.deanonymize(text, tolerant)

    def streaming_deanonymizer(self, tolerant: bool = False) -> "StreamingDeanonymizer":
        """A :class:`StreamingDeanonymizer` over the current mapping, for an
        answer that arrives in pieces::

            stream = anonymizer.streaming_deanonymizer()
            for piece in pieces:
                print(stream.feed(piece), end="")
            print(stream.finish())
        """
        return self._native.streaming_deanonymizer(tolerant)

    def reset_deanonymizer_mapping(self) -> None:
        """Forgets every replacement; numbering starts at 1 again."""
        self._native.reset_deanonymizer_mapping()

    def add_operators(self, operators: Dict[str, Any]) -> None:
        """Adds operators, replacing those of the same entity types."""
        self._native.add_operators(operators)

    def remove_all_operators(self) -> None:
        """Removes every operator, so that every type becomes "<TYPE>"."""
        self._native.remove_all_operators()


__all__ = ["TextAnonymizer"]
