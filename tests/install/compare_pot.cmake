# cmake -DGENERATED=pot -DCOMMITTED=pot -P compare_pot.cmake: fails when the two templates differ in
# anything but their creation date.
cmake_minimum_required(VERSION 3.20)
foreach(which GENERATED COMMITTED)
  file(STRINGS ${${which}} lines_${which} REGEX "^[^\"]|^\"[^P]|^\"P[^O]")
endforeach()
if(NOT lines_GENERATED STREQUAL lines_COMMITTED)
  message(FATAL_ERROR "${COMMITTED} is stale: cmake --build <build> --target jobpush_update_po, then "
                      "translate the new messages in po/*.po")
endif()
