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

# libadnet for other hosts: one shared library holding the ad client and what it runs on
# (the JSON reader, the platform layer, the desktop backend's web pages), its public headers
# under include/libadnet, and a pkg-config file. Only adnet:: and adnet_* symbols leave it
# (libadnet.map); the ad client itself is compiled with hidden visibility.
set(adnet_whole adnet)
set(adnet_parts json platform_core platform_gfx platform_ui platform_net platform_device)
if(TARGET platform_gtk)
  # The engine registers itself when loaded; nothing else refers to it, hence whole. Of
  # platform_gtk only what the pages need comes along: WebViewStack and the GameWindow whose
  # overlay it fills (not DesktopApplication, the devices or the sound output).
  list(APPEND adnet_whole platform_gtk_webkit)
  list(APPEND adnet_parts platform_gtk)
  # The game loads its web view engine from here when a page opens.
  install(TARGETS brimsey-webkit LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/brimsey)
endif()
if(TARGET adnet_gtk)
  list(APPEND adnet_whole adnet_gtk)
endif()
file(WRITE ${CMAKE_BINARY_DIR}/libadnet-empty.cpp "// libadnet is made of the static libraries of the tree.\n")
add_library(adnet_shared SHARED ${CMAKE_BINARY_DIR}/libadnet-empty.cpp)
set(whole "")
foreach(part ${adnet_whole})
  list(APPEND whole $<TARGET_FILE:${part}>)
endforeach()
# The public parts whole, so that all a host may call is in; the rest as far as they use it.
target_link_libraries(adnet_shared PRIVATE -Wl,--whole-archive ${whole} -Wl,--no-whole-archive ${adnet_whole}
                      ${adnet_parts})
target_link_options(adnet_shared PRIVATE "LINKER:--no-undefined"
                    "LINKER:--version-script=${CMAKE_SOURCE_DIR}/cmake/libadnet.map")
set_property(TARGET adnet_shared APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/libadnet.map)
set_target_properties(adnet_shared PROPERTIES OUTPUT_NAME adnet VERSION ${PROJECT_VERSION} SOVERSION 0
                      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
install(TARGETS adnet_shared LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# Public headers only: none of them includes the platform layer or the JSON reader.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/adnet DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/libadnet
        FILES_MATCHING PATTERN "*.h")
install(FILES ${ADNET_GENERATED_INCLUDE}/adnet/AdNetVersion.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/libadnet/adnet)
# Hosts build against gtk4 (the widget's header includes it); the rest only links the library.
set(ADNET_PC_REQUIRES "")
set(ADNET_PC_REQUIRES_PRIVATE "cairo pangocairo libcurl libpng libjpeg")
if(TARGET platform_gtk)
  set(ADNET_PC_REQUIRES "gtk4")
  string(APPEND ADNET_PC_REQUIRES_PRIVATE " webkitgtk-6.0 x11")
endif()
file(RELATIVE_PATH ADNET_PC_UP /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" ADNET_PC_UP "${ADNET_PC_UP}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/libadnet.pc.in ${CMAKE_BINARY_DIR}/libadnet.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/libadnet.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
