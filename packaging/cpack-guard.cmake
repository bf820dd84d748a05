# Read by cpack before it builds any package: packages are made only from a
# tree built with the hardening flags (and without the sanitizers), so a plain
# `cmake -B build && cpack -G DEB` cannot ship unhardened programs. The
# packaging tests of a developer's tree set LUMARO_TEST_UNHARDENED_PACKAGES=1
# to look at its packages all the same; nothing else should.
if(NOT CPACK_LUMARO_HARDENING OR CPACK_LUMARO_SANITIZE)
  if(NOT "$ENV{LUMARO_TEST_UNHARDENED_PACKAGES}" STREQUAL "1")
    message(FATAL_ERROR
      "lumaro: this build tree is not hardened (LUMARO_HARDENING=${CPACK_LUMARO_HARDENING}, "
      "LUMARO_SANITIZE=${CPACK_LUMARO_SANITIZE}); its packages would ship without the "
      "hardening flags. Configure with -DLUMARO_HARDENING=ON -DLUMARO_SANITIZE=OFF, build, "
      "and run cpack again.")
  endif()
endif()
