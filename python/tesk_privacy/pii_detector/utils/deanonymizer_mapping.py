"""The reversible mapping between anonymized values and the originals they
replace, and the store that accumulates it over many texts.

A mapping is a dict: entity type -> {key: value}, both levels in insertion
order. The store (:class:`DeanonymizerMapping`) holds the deanonymizer
direction, anonymized -> original, and numbers repeated bracketed
placeholders: the n-th distinct PERSON ever stored is "<PERSON_n>"::

    store = DeanonymizerMapping()
    store.update({"PERSON": {"<PERSON>": "Budi", "<PERSON_2>": "Siti"}})
    store.data   # {"PERSON": {"<PERSON_1>": "Budi", "<PERSON_2>": "Siti"}}
"""

from typing import Dict, List, Union

from tesk_privacy._core import _native
from tesk_privacy._records import EngineResult, RecognizerResult

#: entity type -> (anonymized -> original), or the reverse direction.
MappingDataType = Dict[str, Dict[str, str]]

#: The store: ``DeanonymizerMapping(mapping=None, skip_format_duplicates=False)``,
#: with ``mapping``, ``skip_format_duplicates``, ``data`` (a fresh copy) and
#: ``update(new_mapping)``; compared by value.
DeanonymizerMapping = _native.DeanonymizerMapping


class _StoreEntities(dict):
    """One entity type's entries of a store's ``mapping``: reading an absent
    key gives "" and adds the entry; assignments and deletions reach the
    store as well as this dict."""

    def __init__(self, store: "_native.DeanonymizerMapping", entity_type: str, entries: Dict[str, str]) -> None:
        super().__init__(entries)
        self._store = store
        self._type = entity_type

    def __missing__(self, key: str) -> str:
        self[key] = ""
        return ""

    def __setitem__(self, key: str, value: str) -> None:
        self._store._set_entry(self._type, key, value)
        super().__setitem__(key, value)

    def __delitem__(self, key: str) -> None:
        super().__delitem__(key)
        self._store._delete_entry(self._type, key)


class _StoreMapping(dict):
    """A store's ``mapping``: entity type -> entries. Reading an absent entity
    type adds it, empty, at the end of the store's order."""

    def __init__(self, store: "_native.DeanonymizerMapping", mapping: MappingDataType) -> None:
        super().__init__((t, _StoreEntities(store, t, inner)) for t, inner in mapping.items())
        self._store = store

    def __missing__(self, entity_type: str) -> _StoreEntities:
        self[entity_type] = {}
        return super().__getitem__(entity_type)

    def __setitem__(self, entity_type: str, entries: Dict[str, str]) -> None:
        entries = dict(entries)
        self._store._set_type(entity_type, entries)
        super().__setitem__(entity_type, _StoreEntities(self._store, entity_type, entries))

    def __delitem__(self, entity_type: str) -> None:
        super().__delitem__(entity_type)
        self._store._delete_type(entity_type)


def format_duplicated_operator(operator_name: str, count: int) -> str:
    """Renumbers a bracketed placeholder: ("<PERSON>", 2) -> "<PERSON_2>",
    ("<PERSON_7>", 3) -> "<PERSON_3>". A value without brackets loses any "<"
    or ">" and a trailing "_<digits>", and ``count`` is not used."""
    return _native.format_duplicated_operator(operator_name, count)


def create_anonymizer_mapping(
    original_text: str,
    analyzer_results: List[RecognizerResult],
    anonymizer_results: EngineResult,
    is_reversed: bool = False,
    skip_format_duplicates: bool = False,
) -> MappingDataType:
    """One text's mapping from its detections and the engine's replacements.

    Sorts ``analyzer_results`` and ``anonymizer_results.items`` in place by
    start, pairs the k-th detection with the k-th replacement (surplus on
    either side is ignored), records each original once per entity type
    whatever its letter case, and numbers a bracketed placeholder that
    arrives again for a different original unless
    ``skip_format_duplicates``. ``is_reversed`` gives anonymized -> original.
    """
    analyzer_results.sort(key=lambda r: r.start)
    anonymizer_results.items.sort(key=lambda item: item.start)
    return _native.create_anonymizer_mapping(
        original_text, analyzer_results, anonymizer_results, is_reversed, skip_format_duplicates
    )


def get_dict_diff(
    first_mapping: Union[MappingDataType, "_native.DeanonymizerMapping"], second_mapping: MappingDataType
) -> List[Dict[str, str]]:
    """The entries of ``second_mapping`` whose original differs from
    ``first_mapping``'s entry for the same entity type and anonymized value,
    as {"pii_type", "anonymized_value", "pii_value"} records. A pair missing
    from ``first_mapping`` raises KeyError, unless ``first_mapping`` is a
    store or a store's ``mapping``, where it reads as the empty string (the
    store is not changed)."""
    if isinstance(first_mapping, _StoreMapping):
        first_mapping = first_mapping._store
    return _native.get_dict_diff(first_mapping, second_mapping)


__all__ = [
    "MappingDataType",
    "DeanonymizerMapping",
    "format_duplicated_operator",
    "create_anonymizer_mapping",
    "get_dict_diff",
]
