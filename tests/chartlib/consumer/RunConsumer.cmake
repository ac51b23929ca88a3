# Installs the chart library of the build tree BUILD_DIR into a scratch prefix under WORK_DIR,
# configures and builds the consumer project SOURCE_DIR against it with find_package(Tavola),
# and runs the consumer on CHART.  Fails with the failing step's output.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... -DGENERATOR=... -DCXX=...
#         [-DCXX_FLAGS=...] -DLIBDIR=lib -DCHART=... -P RunConsumer.cmake
foreach(var BUILD_DIR WORK_DIR SOURCE_DIR GENERATOR CXX LIBDIR CHART)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "RunConsumer.cmake: ${var} not set")
    endif()
endforeach()

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
    endif()
    set(output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --component tavola --prefix ${prefix})

# The package stands alone: nothing of the private numbers module is installed or required.
if(EXISTS ${prefix}/include/numbers)
    message(FATAL_ERROR "the numbers module's headers were installed")
endif()
file(READ ${prefix}/${LIBDIR}/cmake/Tavola/TavolaTargets.cmake targets)
string(FIND "${targets}" "numbers" at)
if(NOT at EQUAL -1)
    message(FATAL_ERROR "the installed package refers to the numbers module")
endif()

run("configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}" -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run("build" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run("consumer" ${WORK_DIR}/build/tavola_consumer ${CHART})
message(STATUS "${output}")
file(REMOVE_RECURSE ${WORK_DIR})
