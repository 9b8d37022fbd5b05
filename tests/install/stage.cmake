# Lays out what the installation tests run: cmake -DMODE=install|package -DBUILD=<build tree>
# -DDEST=<dir> -P stage.cmake.
#   install: cmake --install of the build tree into DEST (DESTDIR) with the prefix /usr;
#   package: cpack -G DEB into DEST, and the package unpacked with dpkg-deb -x into DEST/root.
cmake_minimum_required(VERSION 3.20)
file(REMOVE_RECURSE ${DEST})
file(MAKE_DIRECTORY ${DEST})
if(MODE STREQUAL "install")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DEST} ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr
                  OUTPUT_QUIET RESULT_VARIABLE rc)
else()
  execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB -B ${DEST} --config ${BUILD}/CPackConfig.cmake
                  OUTPUT_QUIET RESULT_VARIABLE rc)
  file(GLOB debs ${DEST}/*.deb)
  if(rc EQUAL 0)
    execute_process(COMMAND dpkg-deb -x ${debs} ${DEST}/root RESULT_VARIABLE rc)
  endif()
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${MODE} into ${DEST} failed: ${rc}")
endif()
