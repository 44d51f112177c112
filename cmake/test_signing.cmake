# Payloads that tests and the demo serve are signed at build time, as the
# vendor's would be, with the test publisher's certificate. The certificates
# are made by scripts/make_test_certs (scripts/setup runs it) and live outside
# the repository; a configure that finds none makes them.
#
#   qv_sign_payload(TARGET)
#     After TARGET links, its file is signed in place by the test publisher, and
#     two variants are written beside it: NAME.unsigned.exe (as linked) and
#     NAME.foreign.exe (signed by the foreign certificate, whose subject names a
#     different publisher).

if(DEFINED ENV{QV_SIGNING_DIR})
  set(qv_signing_default "$ENV{QV_SIGNING_DIR}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(qv_signing_default "$ENV{XDG_CACHE_HOME}/quorvane-signing")
else()
  set(qv_signing_default "$ENV{HOME}/.cache/quorvane-signing")
endif()
set(QV_SIGNING_DIR "${qv_signing_default}" CACHE PATH "test code-signing certificates (outside the repository)")

function(qv_sign_payload target)
  if(NOT WIN32)
    return()
  endif()
  find_program(QV_OSSLSIGNCODE osslsigncode REQUIRED)
  if(NOT EXISTS "${QV_SIGNING_DIR}/publisher.key" OR NOT EXISTS "${QV_SIGNING_DIR}/foreign.key")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env "QV_TEST_PUBLISHER_NAME=${QV_TEST_PUBLISHER_NAME}"
                            bash ${PROJECT_SOURCE_DIR}/scripts/make_test_certs "${QV_SIGNING_DIR}"
                    OUTPUT_QUIET RESULT_VARIABLE made)
    if(NOT made EQUAL 0)
      message(FATAL_ERROR "cannot make the test signing certificates in ${QV_SIGNING_DIR}")
    endif()
  endif()
  set(file $<TARGET_FILE:${target}>)
  set(base $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>)
  set(sign ${QV_OSSLSIGNCODE} sign -h sha256 -n ${target})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy ${file} ${base}.unsigned.exe
    COMMAND ${CMAKE_COMMAND} -E rm -f ${base}.foreign.exe ${file}
    COMMAND ${sign} -certs ${QV_SIGNING_DIR}/foreign.pem -key ${QV_SIGNING_DIR}/foreign.key
            -in ${base}.unsigned.exe -out ${base}.foreign.exe
    COMMAND ${sign} -certs ${QV_SIGNING_DIR}/publisher.pem -key ${QV_SIGNING_DIR}/publisher.key
            -in ${base}.unsigned.exe -out ${file}
    COMMENT "Signing ${target} with the test publisher's certificate"
    VERBATIM)
endfunction()
