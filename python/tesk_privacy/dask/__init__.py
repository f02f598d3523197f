"""Anonymize datasets on a Dask cluster with one shared Redis mapping.

Every worker process builds its :class:`TextAnalyzer` once (the command
line's defaults: the Indonesian formats on) and opens the Redis mapping once;
all workers share that mapping, so one original gets the same placeholder
everywhere and any worker can restore any record::

    from dask.distributed import Client, LocalCluster
    import dask.bag as db
    from tesk_privacy import dask as tdask

    client = Client(LocalCluster(n_workers=2, threads_per_worker=1))
    records = db.from_sequence([{"id": 1, "text": "Budi Santoso di Bandung"}], npartitions=1)
    safe = tdask.anonymize(records, "redis://127.0.0.1:6379/chats").compute()
    back = tdask.deanonymize(db.from_sequence(safe), "redis://127.0.0.1:6379/chats").compute()

``analyze``, ``anonymize`` and ``deanonymize`` take a Dask bag of records
(dicts) or a Dask dataframe and return the same kind, one partition at a
time, records in their order with their other fields kept. ``fields`` names
the text fields (default ``("text",)``); a record's own ``"language"``
overrides ``language``. ``analyze`` adds ``FIELD_results`` (the results as
the command line writes them) instead of changing the field.

A partition can run again (a retried task, a worker that died): the store
takes each record's entries in one atomic step and an original already
recorded keeps its placeholder, so running it again gives the same output.
"""

import json
from typing import Any, Dict, Iterable, List, Sequence, Tuple

__all__ = ["analyze", "anonymize", "deanonymize"]

# Per worker process: the analyzer, and one shared mapping per store.
_STATE: Dict[Any, Any] = {}


def _analyzer():
    analyzer = _STATE.get("analyzer")
    if analyzer is None:
        from tesk_privacy.pii_detector import TextAnalyzer

        analyzer = _STATE["analyzer"] = TextAnalyzer(indonesian_formats=True)
    return analyzer


def _shared(mapping: str, keep_going: bool):
    key = ("shared", mapping, keep_going)
    shared = _STATE.get(key)
    if shared is None:
        from tesk_privacy.pii_detector import TextAnonymizer
        from tesk_privacy.pii_detector.utils.mapping_store import SharedMapping, open_mapping_store

        store = open_mapping_store(mapping)
        shared = _STATE[key] = SharedMapping(TextAnonymizer(_analyzer(), keep_going=keep_going), store)
    return shared


def _texts(record: Dict[str, Any], fields: Sequence[str]) -> Iterable[Tuple[str, str]]:
    for field in fields:
        value = record.get(field)
        if isinstance(value, str):
            yield field, value


def _language(record: Dict[str, Any], language: str) -> str:
    own = record.get("language")
    return own if isinstance(own, str) and own in ("id", "en") else language


def analyze_records(records: List[Dict[str, Any]], fields: Sequence[str], language: str) -> List[Dict[str, Any]]:
    """One partition of :func:`analyze` (runs on a worker)."""
    from tesk_privacy.framework import results_to_json

    analyzer = _analyzer()
    out = []
    for record in records:
        record = dict(record)
        for field, text in _texts(record, fields):
            found = analyzer.analyze(text, language=_language(record, language))
            record[field + "_results"] = json.loads(results_to_json(text, found))["results"]
        out.append(record)
    return out


def _rewrite(records: List[Dict[str, Any]], fields: Sequence[str], rewrite) -> List[Dict[str, Any]]:
    out = []
    for record in records:
        record = dict(record)
        for field, text in _texts(record, fields):
            record[field] = rewrite(text, record)
        out.append(record)
    return out


def anonymize_records(records: List[Dict[str, Any]], mapping: str, fields: Sequence[str], language: str,
                      keep_going: bool = False) -> List[Dict[str, Any]]:
    """One partition of :func:`anonymize` (runs on a worker)."""
    shared = _shared(mapping, keep_going)
    # The partition's texts are detected first and replaced with one commit
    # per language, so workers meet in the store once a partition rather
    # than once a record.
    out = [dict(record) for record in records]
    by_language: Dict[str, List[Tuple[int, str, str]]] = {}
    for n, record in enumerate(out):
        for field, text in _texts(record, fields):
            by_language.setdefault(_language(record, language), []).append((n, field, text))
    for lang, items in by_language.items():
        for (n, field, _), text in zip(items, shared.anonymize_batch([t for _, _, t in items], lang)):
            out[n][field] = text
    return out


def deanonymize_records(records: List[Dict[str, Any]], mapping: str, fields: Sequence[str],
                        tolerant: bool = False) -> List[Dict[str, Any]]:
    """One partition of :func:`deanonymize` (runs on a worker)."""
    shared = _shared(mapping, False)
    return _rewrite(records, fields, lambda text, record: shared.deanonymize(text, tolerant))


def _over(collection, function, *args):
    """`function` over every partition of a bag, or of a dataframe (its rows
    as records, its columns kept)."""
    import dask.bag as db

    if isinstance(collection, db.Bag):
        return collection.map_partitions(function, *args)
    import pandas as pd

    def frame(part: "pd.DataFrame") -> "pd.DataFrame":
        done = function(part.to_dict("records"), *args)
        return pd.DataFrame(done, index=part.index, columns=list(done[0].keys()) if done else list(part.columns))

    meta = collection._meta
    if function is analyze_records:
        meta = meta.assign(**{f + "_results": pd.Series(dtype=object) for f in args[0]})
    return collection.map_partitions(frame, meta=meta)


def analyze(collection, fields: Sequence[str] = ("text",), language: str = "id"):
    """The records with ``FIELD_results`` added for each text field."""
    return _over(collection, analyze_records, tuple(fields), language)


def anonymize(collection, mapping: str, fields: Sequence[str] = ("text",), language: str = "id",
              keep_going: bool = False):
    """The records with their text fields anonymized through the Redis
    mapping ``mapping`` ("redis://HOST:PORT/NAME"), shared by all workers."""
    return _over(collection, anonymize_records, mapping, tuple(fields), language, keep_going)


def deanonymize(collection, mapping: str, fields: Sequence[str] = ("text",), tolerant: bool = False):
    """The records with their text fields restored from ``mapping``."""
    return _over(collection, deanonymize_records, mapping, tuple(fields), tolerant)
