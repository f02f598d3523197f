# The command-line tool end to end: analyze the bundled example, anonymize it
# with a mapping file and put it back, and refuse bad input with the right
# exit status and a message naming the input.
set(work ${CMAKE_CURRENT_BINARY_DIR}/cli_test_work)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

function(run expected_rc)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expected_rc)
    message(FATAL_ERROR "${ARGN}\nexit ${rc}, expected ${expected_rc}\nstdout: ${out}\nstderr: ${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

# Needles are passed one by one (ARGV1...), since JSON brackets would upset
# CMake's list splitting.
function(expect_in haystack)
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE 1 ${last})
    string(FIND "${haystack}" "${ARGV${i}}" pos)
    if(pos EQUAL -1)
      message(FATAL_ERROR "missing ${ARGV${i}} in:\n${haystack}")
    endif()
  endforeach()
endfunction()

run(0 ${TOOL} analyze ${EXAMPLE})
expect_in("${out}" "{\"results\":[" "\"entity_type\":\"ID_KTP\"" "\"text\":\"3171011205900001\""
          "\"entity_type\":\"ID_NPWP\"" "\"entity_type\":\"EMPLOYEE_ID\"")

# JSON lines: one answer per input line, in order.
file(WRITE ${work}/in.jsonl "{\"text\": \"NIK 3171011205900001\"}\n{\"text\": \"tidak ada\", \"language\": \"en\"}\n")
run(0 ${TOOL} analyze --jsonl ${work}/in.jsonl)
expect_in("${out}" "3171011205900001\"}]}\n{\"results\":[]}\n")

# Anonymize with a mapping file, then restore from it.
run(0 ${TOOL} anonymize --mapping ${work}/map.json ${EXAMPLE})
set(anonymized "${out}")
expect_in("${anonymized}" "<ID_KTP_1>" "<ID_NPWP_1>")
string(FIND "${anonymized}" "3171011205900001" leak)
if(NOT leak EQUAL -1)
  message(FATAL_ERROR "KTP number left in the anonymized text")
endif()
file(WRITE ${work}/anonymized.txt "${anonymized}")
run(0 ${TOOL} deanonymize --mapping ${work}/map.json ${work}/anonymized.txt)
file(READ ${EXAMPLE} original)
if(NOT out STREQUAL original)
  message(FATAL_ERROR "round trip changed the text:\n${out}")
endif()

# A second run keeps the numbering of the first through the mapping file.
file(WRITE ${work}/second.txt "NIK 3171014505900002 dan 3171011205900001")
run(0 ${TOOL} anonymize --mapping ${work}/map.json ${work}/second.txt)
expect_in("${out}" "<ID_KTP_" "dan <ID_KTP_1>")

# Bad input.
run(1 ${TOOL} analyze /nonexistent/file)
expect_in("${err}" "cannot read /nonexistent/file")
run(2 ${TOOL} analyze --language xx ${EXAMPLE})
run(2 ${TOOL} frobnicate)
run(1 ${TOOL} analyze ${CMAKE_CURRENT_LIST_DIR}/data/invalid_utf8.txt)
expect_in("${err}" "invalid_utf8.txt: not valid UTF-8 at byte offset 3")
file(WRITE ${work}/bad.jsonl "{\"text\": \"ok\"}\n{\"text\": oops}\n")
run(1 ${TOOL} analyze --jsonl ${work}/bad.jsonl)
expect_in("${err}" "bad.jsonl:2: not valid JSON")
file(WRITE ${work}/corrupt.json "{\"PERSON\": ")
run(1 ${TOOL} anonymize --mapping ${work}/corrupt.json ${EXAMPLE})
expect_in("${err}" "corrupt.json")
file(READ ${work}/corrupt.json corrupt)
if(NOT corrupt STREQUAL "{\"PERSON\": ")
  message(FATAL_ERROR "a corrupt mapping file was overwritten")
endif()
run(2 ${TOOL} deanonymize ${EXAMPLE})

# An unreachable remote recognizer: anonymize writes nothing, analyze writes
# what it found; both fail with the count unless told to go on.
file(WRITE ${work}/remote.txt "Nomor NIK saya 3171014505900002.")
run(1 ${TOOL} anonymize --ner-api-url http://127.0.0.1:1/ner ${work}/remote.txt)
expect_in("${err}" "1 requests to remote recognizers failed")
if(NOT out STREQUAL "")
  message(FATAL_ERROR "anonymize wrote output although a remote request failed:\n${out}")
endif()
run(0 ${TOOL} anonymize --allow-remote-failures --ner-api-url http://127.0.0.1:1/ner ${work}/remote.txt)
expect_in("${out}" "NIK saya <ID_KTP_1>.")
run(1 ${TOOL} analyze --ner-api-url http://127.0.0.1:1/ner ${work}/remote.txt)
expect_in("${out}" "\"entity_type\":\"ID_KTP\"")
expect_in("${err}" "1 requests to remote recognizers failed")
run(0 ${TOOL} analyze --allow-remote-failures --ner-api-url http://127.0.0.1:1/ner ${work}/remote.txt)
run(0 ${TOOL} --help)
expect_in("${out}" "anonymize" "deanonymize" "list-entities")
run(0 ${TOOL} deanonymize --help)
expect_in("${out}" "--mapping" "(required)")
