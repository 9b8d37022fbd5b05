# cmake -DIN=file -DOUT=file -DPROJECT_VERSION=v [-DJOBPUSH_MAINTAINER=m] -P stamp_gzip.cmake: writes OUT.gz,
# IN with "@PROJECT_VERSION@" (and "@JOBPUSH_MAINTAINER@") replaced, compressed with gzip -9n.
cmake_minimum_required(VERSION 3.20)
file(READ ${IN} text)
string(REPLACE "@PROJECT_VERSION@" "${PROJECT_VERSION}" text "${text}")
string(REPLACE "@JOBPUSH_MAINTAINER@" "${JOBPUSH_MAINTAINER}" text "${text}")
file(WRITE ${OUT} "${text}")
execute_process(COMMAND gzip -9nf ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip ${OUT} failed")
endif()
