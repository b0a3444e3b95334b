# srx_add_library(<name> SOURCES ... [DEPS <names>] [WIN32_SOURCES ...])
# Creates srx_<name>. Natively the core is sanitised for the test run, so a
# second, unsanitised copy srx_<name>_fast (built on demand) serves the
# benchmarks.
# GCC leaves float-cast-overflow out of "undefined"; a double that becomes an
# index out of range must fail the tests.
set(SRX_SAN_FLAGS -fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer -fno-sanitize-recover=undefined,float-cast-overflow)

function(srx_add_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;WIN32_SOURCES" ${ARGN})
  set(srcs ${A_SOURCES})
  if(WIN32)
    list(APPEND srcs ${A_WIN32_SOURCES})
  endif()
  add_library(srx_${name} STATIC ${srcs})
  # Libraries are added in dependency order; a dependency on one not defined
  # yet would be a cycle or an upward link.
  foreach(d ${A_DEPS})
    if(NOT TARGET srx_${d})
      message(FATAL_ERROR "srx_${name} depends on srx_${d}, which is not below it")
    endif()
  endforeach()
  foreach(d ${A_DEPS})
    target_link_libraries(srx_${name} PUBLIC srx_${d})
  endforeach()
  if(NOT WIN32 AND SRX_SANITIZE AND NOT SRX_FUZZ)
    target_compile_options(srx_${name} PRIVATE ${SRX_SAN_FLAGS})
    target_link_options(srx_${name} INTERFACE ${SRX_SAN_FLAGS})
  endif()
  if(NOT WIN32 AND NOT SRX_FUZZ)
    add_library(srx_${name}_fast STATIC EXCLUDE_FROM_ALL ${A_SOURCES})
    foreach(d ${A_DEPS})
      target_link_libraries(srx_${name}_fast PUBLIC srx_${d}_fast)
    endforeach()
  endif()
endfunction()

# srx_add_test(<name> SOURCES ... LIBS ...)
# Natively every test case is its own CTest test; under Wine one process per
# executable keeps the run short.
function(srx_add_test name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  foreach(l ${A_LIBS})
    target_link_libraries(${name} PRIVATE srx_${l})
  endforeach()
  target_compile_definitions(${name} PRIVATE SRX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  if(WIN32)
    target_link_libraries(${name} PRIVATE gtest gtest_main)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
    if(SRX_SANITIZE)
      target_compile_options(${name} PRIVATE ${SRX_SAN_FLAGS})
      target_link_options(${name} PRIVATE ${SRX_SAN_FLAGS})
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)
  endif()
endfunction()

# srx_copy_alignments(<dir>): the shipped vented-box tables into <dir>/Alignments.
function(srx_copy_alignments dir)
  file(GLOB tables CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/Alignments/*.ALN)
  foreach(t ${tables})
    get_filename_component(n ${t} NAME)
    configure_file(${t} ${dir}/Alignments/${n} COPYONLY)
  endforeach()
endfunction()
