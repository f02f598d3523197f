// What the service serves as it is: the web page at "/" (no outside
// resources) and the OpenAPI 3 description at "/openapi.json".
#pragma once

namespace tesk_privacy::cli {

inline constexpr const char* kPage = R"HTML(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>tesk-privacy</title>
<style>
body { font: 15px/1.5 system-ui, sans-serif; max-width: 56rem; margin: 2rem auto; padding: 0 1rem; color: #222; }
textarea { width: 100%; min-height: 9rem; font: inherit; padding: .5rem; box-sizing: border-box; }
button { font: inherit; padding: .35rem .9rem; margin: .5rem .5rem .5rem 0; }
#view { white-space: pre-wrap; border: 1px solid #ccc; padding: .75rem; min-height: 3rem; border-radius: 4px; }
mark.entity { background: #ffe08a; border-radius: 3px; padding: 0 2px; }
mark.entity small { font-size: .7em; color: #7a5200; margin-left: 3px; }
#status { color: #a00; min-height: 1.5em; }
label { margin-right: 1rem; }
</style>
</head>
<body>
<h1>tesk-privacy</h1>
<p>Paste a text, find its personal data, replace it with placeholders and put it back.</p>
<label>Language <select id="language"><option value="id">Indonesian</option><option value="en">English</option></select></label>
<label>API key <input id="key" type="password" autocomplete="off" size="24"></label>
<textarea id="text" placeholder="Budi Santoso, NIK 3171011205900001, tinggal di Bandung."></textarea>
<div>
<button id="analyze">Find</button><button id="anonymize">Anonymize</button><button id="deanonymize">Restore</button>
</div>
<div id="status" role="status"></div>
<div id="view" aria-live="polite"></div>
<script>
"use strict";
let session = null;
const $ = (id) => document.getElementById(id);
async function call(path, body) {
  const headers = {"Content-Type": "application/json"};
  if ($("key").value) headers["Authorization"] = "Bearer " + $("key").value;
  const response = await fetch(path, {method: "POST", headers, body: JSON.stringify(body)});
  const answer = await response.json();
  if (!response.ok) throw new Error(answer.error || response.statusText);
  return answer;
}
function show(text, results) {
  const view = $("view");
  view.textContent = "";
  const chars = Array.from(text);
  let at = 0;
  for (const r of [...results].sort((a, b) => a.start - b.start || b.end - a.end)) {
    if (r.start < at) continue;
    view.append(chars.slice(at, r.start).join(""));
    const mark = document.createElement("mark");
    mark.className = "entity";
    mark.dataset.type = r.entity_type;
    mark.dataset.score = r.score.toFixed(2);
    mark.textContent = chars.slice(r.start, r.end).join("");
    const label = document.createElement("small");
    label.textContent = r.entity_type + " " + r.score.toFixed(2);
    mark.append(label);
    view.append(mark);
    at = r.end;
  }
  view.append(chars.slice(at).join(""));
}
async function run(action) {
  $("status").textContent = "";
  try {
    const text = $("text").value, language = $("language").value;
    if (action === "analyze") {
      show(text, (await call("/v1/analyze", {text, language})).results);
    } else if (action === "anonymize") {
      const answer = await call("/v1/anonymize", session ? {text, language, session_id: session} : {text, language});
      session = answer.session_id;
      $("text").value = answer.text;
      $("view").textContent = answer.text;
    } else {
      if (!session) throw new Error("anonymize a text first");
      const answer = await call("/v1/deanonymize", {text, session_id: session});
      $("text").value = answer.text;
      $("view").textContent = answer.text;
    }
  } catch (error) {
    $("status").textContent = error.message;
  }
}
for (const action of ["analyze", "anonymize", "deanonymize"]) $(action).addEventListener("click", () => run(action));
// A link can carry a text, an action and a key (the part after "#" never
// leaves the browser): /#run=analyze&text=...
const given = new URLSearchParams(location.hash.slice(1));
if (given.has("text")) $("text").value = given.get("text");
if (given.has("language")) $("language").value = given.get("language");
if (given.has("key")) $("key").value = given.get("key");
if (["analyze", "anonymize"].includes(given.get("run"))) run(given.get("run"));
</script>
</body>
</html>
)HTML";

inline constexpr const char* kOpenApi = R"JSON({
  "openapi": "3.0.3",
  "info": {"title": "tesk-privacy", "version": "1", "description": "Finds personal data in Indonesian and English text and replaces it reversibly. Every endpoint but /healthz needs 'Authorization: Bearer KEY' when the service runs with an API key file. Errors are {\"error\": message, \"code\": status}."},
  "components": {
    "securitySchemes": {"bearer": {"type": "http", "scheme": "bearer"}},
    "schemas": {
      "Error": {"type": "object", "properties": {"error": {"type": "string"}, "code": {"type": "integer"}}},
      "Result": {"type": "object", "properties": {"entity_type": {"type": "string"}, "start": {"type": "integer", "description": "code-point offset"}, "end": {"type": "integer"}, "score": {"type": "number"}, "text": {"type": "string"}}},
      "Operator": {"type": "object", "required": ["type"], "properties": {"type": {"type": "string", "enum": ["replace", "redact", "mask", "hash", "keep"]}, "new_value": {"type": "string"}, "masking_char": {"type": "string"}, "chars_to_mask": {"type": "integer"}, "from_end": {"type": "boolean"}, "hash_type": {"type": "string", "enum": ["sha256", "sha512", "md5"]}}}
    },
    "responses": {
      "BadRequest": {"description": "not JSON, or a field missing or of the wrong type", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Error"}}}},
      "Unauthorized": {"description": "no or a wrong API key", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Error"}}}},
      "NotFound": {"description": "no such session", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Error"}}}},
      "TooLarge": {"description": "the body is larger than --max-body", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Error"}}}},
      "Unprocessable": {"description": "a value the service cannot use (a language, an entity type, an operator)", "content": {"application/json": {"schema": {"$ref": "#/components/schemas/Error"}}}}
    }
  },
  "security": [{"bearer": []}],
  "paths": {
    "/v1/analyze": {"post": {"summary": "Find personal data", "requestBody": {"required": true, "content": {"application/json": {"schema": {"type": "object", "required": ["text"], "properties": {"text": {"type": "string"}, "language": {"type": "string", "enum": ["id", "en"]}, "entities": {"type": "array", "items": {"type": "string"}}, "score_threshold": {"type": "number", "minimum": 0, "maximum": 1}}}}}},
      "responses": {"200": {"description": "the results", "content": {"application/json": {"schema": {"type": "object", "properties": {"results": {"type": "array", "items": {"$ref": "#/components/schemas/Result"}}}}}}}, "400": {"$ref": "#/components/responses/BadRequest"}, "401": {"$ref": "#/components/responses/Unauthorized"}, "413": {"$ref": "#/components/responses/TooLarge"}, "422": {"$ref": "#/components/responses/Unprocessable"}}}},
    "/v1/anonymize": {"post": {"summary": "Replace personal data; without session_id a new session is made, with one its mapping is used and extended", "requestBody": {"required": true, "content": {"application/json": {"schema": {"type": "object", "required": ["text"], "properties": {"text": {"type": "string"}, "language": {"type": "string", "enum": ["id", "en"]}, "session_id": {"type": "string"}, "operators": {"type": "object", "additionalProperties": {"$ref": "#/components/schemas/Operator"}, "description": "per entity type (or DEFAULT); kept by the session"}}}}}},
      "responses": {"200": {"description": "the anonymized text", "content": {"application/json": {"schema": {"type": "object", "properties": {"text": {"type": "string"}, "session_id": {"type": "string"}, "items": {"type": "array", "items": {"type": "object", "properties": {"entity_type": {"type": "string"}, "start": {"type": "integer"}, "end": {"type": "integer"}, "score": {"type": "number"}, "anonymized": {"type": "string"}}}}}}}}}, "400": {"$ref": "#/components/responses/BadRequest"}, "401": {"$ref": "#/components/responses/Unauthorized"}, "404": {"$ref": "#/components/responses/NotFound"}, "413": {"$ref": "#/components/responses/TooLarge"}, "422": {"$ref": "#/components/responses/Unprocessable"}, "503": {"description": "the maximum number of sessions is reached"}}}},
    "/v1/deanonymize": {"post": {"summary": "Put the originals back", "requestBody": {"required": true, "content": {"application/json": {"schema": {"type": "object", "required": ["text", "session_id"], "properties": {"text": {"type": "string"}, "session_id": {"type": "string"}, "tolerant": {"type": "boolean", "description": "also restore placeholders as models rewrite them: <person_1>, [PERSON_1], PERSON_1"}}}}}},
      "responses": {"200": {"description": "the restored text", "content": {"application/json": {"schema": {"type": "object", "properties": {"text": {"type": "string"}}}}}}, "400": {"$ref": "#/components/responses/BadRequest"}, "401": {"$ref": "#/components/responses/Unauthorized"}, "404": {"$ref": "#/components/responses/NotFound"}, "413": {"$ref": "#/components/responses/TooLarge"}}}},
    "/v1/deanonymize/stream": {"post": {"summary": "Put the originals back into a text sent in chunks; the answer comes in chunks, a placeholder cut between chunks restored whole", "parameters": [{"name": "session_id", "in": "query", "required": true, "schema": {"type": "string"}}, {"name": "tolerant", "in": "query", "schema": {"type": "boolean"}}], "requestBody": {"required": true, "content": {"text/plain": {"schema": {"type": "string"}}}},
      "responses": {"200": {"description": "the restored text", "content": {"text/plain": {"schema": {"type": "string"}}}}, "401": {"$ref": "#/components/responses/Unauthorized"}, "404": {"$ref": "#/components/responses/NotFound"}, "413": {"$ref": "#/components/responses/TooLarge"}, "422": {"$ref": "#/components/responses/Unprocessable"}}}},
    "/v1/sessions/{id}": {"delete": {"summary": "End a session and forget its mapping", "parameters": [{"name": "id", "in": "path", "required": true, "schema": {"type": "string"}}], "responses": {"204": {"description": "ended"}, "401": {"$ref": "#/components/responses/Unauthorized"}, "404": {"$ref": "#/components/responses/NotFound"}}}},
    "/healthz": {"get": {"summary": "Liveness", "security": [], "responses": {"200": {"description": "up", "content": {"application/json": {"schema": {"type": "object", "properties": {"status": {"type": "string"}}}}}}}}},
    "/metrics": {"get": {"summary": "Prometheus metrics: requests, latency histogram, sessions, errors by code", "responses": {"200": {"description": "text format 0.0.4", "content": {"text/plain": {"schema": {"type": "string"}}}}, "401": {"$ref": "#/components/responses/Unauthorized"}}}},
    "/openapi.json": {"get": {"summary": "This document", "responses": {"200": {"description": "OpenAPI 3"}, "401": {"$ref": "#/components/responses/Unauthorized"}}}}
  }
})JSON";

}  // namespace tesk_privacy::cli
