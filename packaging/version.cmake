# Writes the version the program reports into a header, at every build, and touches the header only
# when the text changes, so an unchanged tree recompiles nothing.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DFALLBACK=1.0 -P version.cmake
# From a clone the version is `git describe`: a release tag vX.Y gives "X.Y" (and "-N-gHASH" for
# later commits); before the first tag it is the project version with the commit, "1.0-g8298d7b".
# "-dirty" marks uncommitted changes. Without git (a source archive) it is the project version.
cmake_minimum_required(VERSION 3.22)
set(version "${FALLBACK}")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
    execute_process(
        COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --tags --match "v[0-9]*" --always
                --dirty
        OUTPUT_VARIABLE described
        RESULT_VARIABLE failed
        OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET)
    if(NOT failed AND described MATCHES "^v([0-9].*)")
        set(version "${CMAKE_MATCH_1}")
    elseif(NOT failed AND described)
        set(version "${FALLBACK}-g${described}")
    endif()
endif()
file(CONFIGURE OUTPUT "${OUTPUT}"
     CONTENT "#pragma once\n#define CATLINK_VERSION \"@version@\"\n" @ONLY)
