# Compiler settings shared by every target of our own.

if(OVRIN_SANITIZE)
  string(REPLACE "," ";" _ovrin_sanitizers "${OVRIN_SANITIZE}")
  foreach(_s IN LISTS _ovrin_sanitizers)
    if(NOT _s MATCHES "^(address|undefined|thread|leak)$")
      message(FATAL_ERROR "OVRIN_SANITIZE: unknown sanitizer '${_s}'")
    endif()
  endforeach()
  add_compile_options(-fsanitize=${OVRIN_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${OVRIN_SANITIZE})
endif()

# ovrin_settings(target): warnings (as errors in our code) and the Qt string
# discipline: no implicit conversion from narrow strings, so every Cyrillic
# text goes through u"…"_s.
function(ovrin_settings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(OVRIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # GCC 12 at -O3 reports std::string concatenation as an overlapping copy
  # (a known false positive of -Wrestrict in libstdc++'s inlined code).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  target_compile_definitions(${target} PRIVATE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING QT_USE_QSTRINGBUILDER QT_NO_KEYWORDS)
endfunction()

# ovrin_test(name SOURCES ... LIBS ...): one QtTest program registered with CTest.
function(ovrin_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  ovrin_settings(${name})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
