# `make install` (cmake --install): the game with its resources, desktop entry and icon, the
# demo ad network, and libadnet with its headers for other host applications.
include(GNUInstallDirs)

set(BRIMSEY_APP_ID net.brimsey.Brimsey)

install(TARGETS brimsey adnet-demo-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The program finds these beside its bin/ folder (platform::defaultResourceDirectory).
install(DIRECTORY ${BRIMSEY_RESOURCES_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/brimsey
        PATTERN desktop EXCLUDE)
install(FILES ${BRIMSEY_RESOURCES_DIR}/desktop/${BRIMSEY_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${BRIMSEY_RESOURCES_DIR}/desktop/${BRIMSEY_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${BRIMSEY_RESOURCES_DIR}/desktop/${BRIMSEY_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# libadnet for other hosts: one shared library holding the ad client and the platform layer
# it runs on (the static libraries of the tree, whole), its headers under include/libadnet,
# and a pkg-config file.
set(adnet_parts adnet json platform_core platform_gfx platform_ui platform_net platform_device platform_headless)
if(TARGET platform_gtk)
  list(APPEND adnet_parts platform_gtk platform_gtk_webkit)
  # The game loads its web view engine from here when a page opens.
  install(TARGETS brimsey-webkit LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/brimsey)
endif()
file(WRITE ${CMAKE_BINARY_DIR}/libadnet-empty.cpp "// libadnet is made of the static libraries linked whole.\n")
add_library(adnet_shared SHARED ${CMAKE_BINARY_DIR}/libadnet-empty.cpp)
set(whole "")
foreach(part ${adnet_parts})
  list(APPEND whole $<TARGET_FILE:${part}>)
endforeach()
# Whole, so that every symbol a host may use is in; then as usual, for what they link to.
target_link_libraries(adnet_shared PRIVATE -Wl,--whole-archive ${whole} -Wl,--no-whole-archive ${adnet_parts})
set_target_properties(adnet_shared PROPERTIES OUTPUT_NAME adnet VERSION ${PROJECT_VERSION} SOVERSION 0
                      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
install(TARGETS adnet_shared LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/adnet DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/libadnet)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/src/platform ${CMAKE_SOURCE_DIR}/src/json
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/libadnet FILES_MATCHING PATTERN "*.h")
set(ADNET_PC_REQUIRES "cairo pangocairo libcurl libpng libjpeg")
if(TARGET platform_gtk)
  string(APPEND ADNET_PC_REQUIRES " gtk4")
endif()
file(RELATIVE_PATH ADNET_PC_UP /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ADNET_PC_UP "${ADNET_PC_UP}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/libadnet.pc.in ${CMAKE_BINARY_DIR}/libadnet.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/libadnet.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
