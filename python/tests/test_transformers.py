"""TransformersRecognizer and TokenAwareTextChunker from Python, on a tiny
hand-weighted BERT model written by the test: each token's label follows
from its id, so the expected spans are known in advance."""

import json
import logging
import math
import struct

import pytest

transformers_recognizer = pytest.importorskip("tesk_privacy.pii_detector.recognizer.transformers_recognizer")
TransformersRecognizer = transformers_recognizer.TransformersRecognizer
TokenizationLevel = transformers_recognizer.TokenizationLevel

from tesk_privacy.pii_detector.recognizer.config import MERROW_BERT_CONFIGURATION  # noqa: E402
from tesk_privacy.pii_detector.utils.text_chunker import TokenAwareTextChunker  # noqa: E402

LABELS = ["O", "B-PER", "I-PER", "B-LOC", "I-LOC", "B-GPE", "B-ID"]
WORDS = ["budi", "tinggal", "di", "jakarta", "kota", ",", "."]
LABEL_OF_WORD = {"budi": 1, "jakarta": 5, "kota": 6}
SPECIAL = ["[PAD]", "[UNK]", "[CLS]", "[SEP]", "[MASK]"]


def _safetensors(tensors):
    header, data = {}, b""
    for name, shape, values in tensors:
        raw = struct.pack(f"<{len(values)}f", *values)
        header[name] = {"dtype": "F32", "shape": shape, "data_offsets": [len(data), len(data) + len(raw)]}
        data += raw
    head = json.dumps(header).encode()
    return struct.pack("<Q", len(head)) + head + data


def write_model(folder):
    vocab = {token: i for i, token in enumerate(SPECIAL + WORDS)}
    h, v, positions = len(LABELS), len(vocab), 64
    tokenizer = {
        "version": "1.0", "truncation": None, "padding": None,
        "added_tokens": [{"id": i, "content": t, "single_word": False, "lstrip": False, "rstrip": False,
                          "normalized": False, "special": True} for i, t in enumerate(SPECIAL)],
        "normalizer": {"type": "BertNormalizer", "clean_text": True, "handle_chinese_chars": True,
                       "strip_accents": None, "lowercase": True},
        "pre_tokenizer": {"type": "BertPreTokenizer"},
        "post_processor": {"type": "TemplateProcessing",
                           "single": [{"SpecialToken": {"id": "[CLS]", "type_id": 0}},
                                      {"Sequence": {"id": "A", "type_id": 0}},
                                      {"SpecialToken": {"id": "[SEP]", "type_id": 0}}],
                           "pair": [],
                           "special_tokens": {"[CLS]": {"id": "[CLS]", "ids": [2], "tokens": ["[CLS]"]},
                                              "[SEP]": {"id": "[SEP]", "ids": [3], "tokens": ["[SEP]"]}}},
        "decoder": {"type": "WordPiece", "prefix": "##", "cleanup": True},
        "model": {"type": "WordPiece", "unk_token": "[UNK]", "continuing_subword_prefix": "##",
                  "max_input_chars_per_word": 100, "vocab": vocab},
    }
    (folder / "tokenizer.json").write_text(json.dumps(tokenizer))
    config = {"model_type": "bert", "vocab_size": v, "hidden_size": h, "num_hidden_layers": 1,
              "num_attention_heads": 1, "intermediate_size": h, "hidden_act": "gelu",
              "max_position_embeddings": positions, "type_vocab_size": 1, "layer_norm_eps": 1e-5,
              "pad_token_id": 0, "id2label": {str(i): label for i, label in enumerate(LABELS)}}
    (folder / "config.json").write_text(json.dumps(config))
    embeddings = []
    for token in SPECIAL + WORDS:
        row = [0.0] * h
        row[LABEL_OF_WORD.get(token, 0)] = 3.0
        embeddings += row
    zeros = lambda n: [0.0] * n  # noqa: E731
    ones = lambda n: [1.0] * n  # noqa: E731
    t = [("bert.embeddings.word_embeddings.weight", [v, h], embeddings),
         ("bert.embeddings.position_embeddings.weight", [positions, h], zeros(positions * h)),
         ("bert.embeddings.token_type_embeddings.weight", [1, h], zeros(h)),
         ("bert.embeddings.LayerNorm.weight", [h], ones(h)),
         ("bert.embeddings.LayerNorm.bias", [h], zeros(h))]
    layer = "bert.encoder.layer.0."
    for name in ["attention.self.query", "attention.self.key", "attention.self.value",
                 "attention.output.dense", "intermediate.dense", "output.dense"]:
        t += [(layer + name + ".weight", [h, h], zeros(h * h)), (layer + name + ".bias", [h], zeros(h))]
    for name in ["attention.output.LayerNorm", "output.LayerNorm"]:
        t += [(layer + name + ".weight", [h], ones(h)), (layer + name + ".bias", [h], zeros(h))]
    t += [("classifier.weight", [h, h], [4.0 if i % (h + 1) == 0 else 0.0 for i in range(h * h)]),
          ("classifier.bias", [h], zeros(h))]
    (folder / "model.safetensors").write_bytes(_safetensors(t))
    return folder


@pytest.fixture()
def model(tmp_path):
    return str(write_model(tmp_path))


def spans(results, text):
    return sorted((r.entity_type, text[r.start:r.end], r.start, r.end) for r in results)


def test_exported_from_the_recognizer_package():
    import tesk_privacy.pii_detector.recognizer as recognizer

    assert "TransformersRecognizer" in recognizer.__all__
    assert recognizer.TransformersRecognizer is TransformersRecognizer
    assert list(MERROW_BERT_CONFIGURATION)[:3] == ["PRESIDIO_SUPPORTED_ENTITIES", "DEFAULT_MODEL_PATH", "LABELS_TO_IGNORE"]
    assert MERROW_BERT_CONFIGURATION["CHUNK_SIZE"] == 8192
    assert MERROW_BERT_CONFIGURATION["MODEL_TO_PRESIDIO_MAPPING"]["GPE"] == "LOCATION"
    assert list(MERROW_BERT_CONFIGURATION["MODEL_TO_PRESIDIO_MAPPING"]) == ["PER", "LOC", "GPE", "ORG"]


@pytest.mark.parametrize("level", [TokenizationLevel.SUBWORD, TokenizationLevel.WORD])
def test_analyze_alone_and_in_the_analyzer(model, level):
    ner = TransformersRecognizer(model_path=model)
    ner.load_transformer(dict(MERROW_BERT_CONFIGURATION, TOKENIZATION_LEVEL=level.value))
    assert ner.is_loaded and ner.tokenization_level is level
    text = "Budi   tinggal\n\n di Jakarta."
    assert spans(ner.analyze(text, ["PERSON", "LOCATION"]), text) == [
        ("LOCATION", "Jakarta", 20, 27), ("PERSON", "Budi", 0, 4)]

    from tesk_privacy.pii_detector import TextAnalyzer

    found = TextAnalyzer(additional_recognizers=[ner]).analyze(text, entities=["PERSON", "LOCATION"])
    assert ("LOCATION", "Jakarta", 20, 27) in spans(found, text)


def test_id_scores_are_logged_not_printed(model, capsys, caplog):
    ner = TransformersRecognizer(model_path=model)
    ner.load_transformer(MERROW_BERT_CONFIGURATION)
    from tesk_privacy import log_bridge

    name = "tesk_privacy.pii_detector.recognizer.transformers_recognizer"
    with caplog.at_level(logging.INFO, logger=name):
        log_bridge.sync_log_levels()
        results = ner.analyze("Kota", ["ID"])
    log_bridge.sync_log_levels()
    assert [r.entity_type for r in results] == ["ID"]
    confidence = results[0].score
    assert confidence <= 0.5
    assert capsys.readouterr().out == ""
    assert "ID entity found, multiplying score by 0.5" in caplog.messages


def test_configuration_errors_and_introspection(model):
    ner = TransformersRecognizer(model_path=model, use_optimum=False)
    with pytest.raises(ValueError):
        ner.load_transformer(dict(MERROW_BERT_CONFIGURATION, TOKENIZATION_LEVEL="char"))
    assert not ner.is_loaded
    ner.load_transformer(MERROW_BERT_CONFIGURATION)
    info = ner.get_pipeline_info()
    assert info == {"backend": "transformers", "device": "cpu",
                    "optimizations": {"fp16": False, "onnx_optimization": False}}
    assert ner.switch_backend("onnx") is False
    assert TransformersRecognizer._generate_cache_key("m", "word", True) == "transformers_m_word_True"
    with pytest.raises(RuntimeError, match="never downloaded"):
        TransformersRecognizer(model_path="acme/not-cached-anywhere").load_transformer(MERROW_BERT_CONFIGURATION)


def test_span_helpers_and_splitter():
    assert TransformersRecognizer._get_actual_boundaries_without_spaces("  Jakarta ", 0, 10) == (2, 9)
    assert TransformersRecognizer._strip_trailing_punctuation("Hello Jakarta!", 6, 14) == (6, 13)
    assert TransformersRecognizer._is_a_complete_word("Budiman", 0, 4) is False
    with pytest.raises(ValueError, match="Invalid start or end indices"):
        TransformersRecognizer._is_a_complete_word("abc", 2, 2)
    assert TransformersRecognizer.split_long_text("aaa    bbb", 0, 5) == [(0, 4), (7, 10)]
    assert TransformersRecognizer._split_text_by_paragraph("  aa\n\n\nbb", 100) == [(2, 9)]


def test_chunker_keeps_real_offsets(model):
    chunker = TokenAwareTextChunker(model, max_tokens=4)
    assert chunker.get_max_chunk_tokens() == 4
    assert not chunker.should_chunk("   ")
    assert chunker.split_text("a.  b") == [(0, 2), (4, 5)]
    text = "  aa bb\n\n\ncc   dd ee"
    assert [text[s:e] for s, e in chunker.split_text(text)] == ["aa bb", "cc   dd", "ee"]
    assert TokenAwareTextChunker(chunker.tokenizer).get_max_chunk_tokens() == 460
    assert math.isclose(0.9 * 512, 460.8)
