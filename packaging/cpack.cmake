# Debian packages: "lumaro" for kiosks (the daemon, the calibration tools,
# the record/replay/plot tools, the service and udev rule, the manual pages)
# and "lumaro-devtools" (the controller simulator and the scenes).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumaro)
set(CPACK_PACKAGE_VENDOR "Lumaro")
set(CPACK_PACKAGE_CONTACT "Lumaro developers <dev@lumaro.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_LUMARO_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip-comments.cmake)
# Refuses a tree built without the hardening flags.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-guard.cmake)
set(CPACK_LUMARO_HARDENING ${LUMARO_HARDENING})
set(CPACK_LUMARO_SANITIZE ${LUMARO_SANITIZE})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime devtools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME lumaro)
# systemd-sysusers creates the nodes' group.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
    "init-system-helpers (>= 1.50), systemd | systemd-standalone-sysusers")
# The calibration tools draw their text in a core X font; without one they
# fall back to whatever the server has.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "xfonts-base")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "camera touch frame daemon and calibration tools\n The touch engine daemon lumarod turns the camera frames of the Lumaro\n touch controller into touch reports; tapalign and tapalign-classic\n calibrate the frame on an X11 display; lumaro-record, lumaro-replay and\n lumaro-plot record, replay and draw what the controller sees.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/debian/postinst;${PROJECT_SOURCE_DIR}/packaging/debian/prerm;${PROJECT_SOURCE_DIR}/packaging/debian/postrm")

set(CPACK_DEBIAN_DEVTOOLS_PACKAGE_NAME lumaro-devtools)
set(CPACK_DEBIAN_DEVTOOLS_PACKAGE_DEPENDS "umockdev")
set(CPACK_DEBIAN_DEVTOOLS_PACKAGE_SECTION devel)
set(CPACK_COMPONENT_DEVTOOLS_DESCRIPTION
    "controller simulator and test scenes for the Lumaro touch stack\n lumaro-sim runs a program against a simulated Lumaro touch controller\n played from a trace; lumaro-scene renders synthetic touch scenes into\n traces. For development and testing, not for kiosks.")

include(CPack)
