# Compiler settings for the project's own targets.
#   tessaro_target(<target>)  warnings as errors and, when enabled, sanitizers
#       (executables then also get the runtime's default options)
#   tessaro_test(<name> SOURCES ... LIBS ...)  one GoogleTest executable
#       registered with CTest

set(TESSARO_SANITIZER_FLAGS
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

# The sanitizer runtime's default options for the executables of a
# sanitized build (see the file for why).
if(TESSARO_SANITIZE)
  add_library(tessaro_sanitizer_defaults OBJECT ${CMAKE_CURRENT_LIST_DIR}/sanitizer/sanitizer_defaults.cpp)
  target_compile_options(tessaro_sanitizer_defaults PRIVATE -Wall -Wextra -Werror)
endif()

function(tessaro_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(TESSARO_SANITIZE)
    target_compile_options(${target} PRIVATE ${TESSARO_SANITIZER_FLAGS})
    target_link_options(${target} PRIVATE ${TESSARO_SANITIZER_FLAGS})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_sources(${target} PRIVATE $<TARGET_OBJECTS:tessaro_sanitizer_defaults>)
    endif()
  endif()
endfunction()

# Sanitizers must also be on the link line of every executable and shared
# library that pulls in sanitized static code.
if(TESSARO_SANITIZE)
  add_link_options(-fsanitize=address,undefined)
endif()

function(tessaro_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  tessaro_target(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TESSARO_SOURCE_DIR=${PROJECT_SOURCE_DIR};LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1")
endfunction()

# One navigator subsystem in one call:
#   tessaro_subsystem(<name>
#     CORE <sources> [CORE_LIBS <libs>] [CORE_TARGET <target>] [TOOL]
#     [WINDOWS <sources> [WINDOWS_LIBS <libs>] [WINDOWS_TARGET <target>]]
#     [TESTS <sources> [TEST_LIBS <libs>] [TEST_TARGET <target>]])
# makes the widget-free core library (tessaro_<name>), the library of its
# windows (tessaro_<name>_windows, linking the core and Qt Widgets) and its
# GoogleTest executable (<name>_tests, linking the windows library when there
# is one, else the core). TOOL also links the core into tessaro-tool.
function(tessaro_subsystem name)
  cmake_parse_arguments(S "TOOL" "CORE_TARGET;WINDOWS_TARGET;TEST_TARGET"
                        "CORE;CORE_LIBS;WINDOWS;WINDOWS_LIBS;TESTS;TEST_LIBS" ${ARGN})
  if(NOT S_CORE_TARGET)
    set(S_CORE_TARGET tessaro_${name})
  endif()
  if(NOT S_WINDOWS_TARGET)
    set(S_WINDOWS_TARGET tessaro_${name}_windows)
  endif()
  if(NOT S_TEST_TARGET)
    set(S_TEST_TARGET ${name}_tests)
  endif()
  add_library(${S_CORE_TARGET} STATIC ${S_CORE})
  tessaro_target(${S_CORE_TARGET})
  target_include_directories(${S_CORE_TARGET} PUBLIC ${PROJECT_SOURCE_DIR}/navigator)
  target_link_libraries(${S_CORE_TARGET} PUBLIC ${S_CORE_LIBS})
  if(S_TOOL)
    target_link_libraries(tessaro_tool_libs INTERFACE ${S_CORE_TARGET})
  endif()
  set(tested ${S_CORE_TARGET})
  if(S_WINDOWS)
    add_library(${S_WINDOWS_TARGET} STATIC ${S_WINDOWS})
    tessaro_target(${S_WINDOWS_TARGET})
    target_link_libraries(${S_WINDOWS_TARGET} PUBLIC ${S_CORE_TARGET} ${S_WINDOWS_LIBS} Qt6::Widgets)
    set(tested ${S_WINDOWS_TARGET})
  endif()
  if(S_TESTS)
    tessaro_test(${S_TEST_TARGET} SOURCES ${S_TESTS} LIBS ${tested} ${S_TEST_LIBS})
  endif()
endfunction()
