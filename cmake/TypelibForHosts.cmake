# The AdnetBanner widget in libadnet, and its GObject introspection data (Adnet-1.0.gir and
# the typelib) for hosts written in Python, JavaScript and other introspection languages.
if(NOT TARGET adnet_shared OR NOT TARGET adnet_gtk)
  return()
endif()
include(GNUInstallDirs)

get_target_property(adnet_shared_links adnet_shared LINK_LIBRARIES)
if(NOT "adnet_gtk" IN_LIST adnet_shared_links)
  # Whole, like the rest of the library: nothing in it calls the widget.
  target_link_libraries(adnet_shared PRIVATE -Wl,--whole-archive $<TARGET_FILE:adnet_gtk> -Wl,--no-whole-archive
                        adnet_gtk)
endif()

# The scanner runs a program linked to the library: a sanitized library would need the
# sanitizer's runtime loaded first, which that program does not do.
if(BRIMSEY_SANITIZE OR BRIMSEY_TSAN)
  return()
endif()
find_program(G_IR_SCANNER g-ir-scanner)
find_program(G_IR_COMPILER g-ir-compiler)
if(NOT G_IR_SCANNER OR NOT G_IR_COMPILER)
  message(STATUS "g-ir-scanner or g-ir-compiler missing: no introspection data for libadnet")
  return()
endif()

set(gir ${CMAKE_BINARY_DIR}/gir/Adnet-1.0.gir)
set(typelib ${CMAKE_BINARY_DIR}/gir/Adnet-1.0.typelib)
set(headers ${CMAKE_SOURCE_DIR}/include/adnet/adnet-gtk.h ${CMAKE_SOURCE_DIR}/include/adnet/adnet-banner.h)
# The scanner builds and runs a small program against the library to read its types.
add_custom_command(OUTPUT ${gir}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gir
  COMMAND ${CMAKE_COMMAND} -E env CC=${CMAKE_C_COMPILER}
          ${G_IR_SCANNER} --quiet --warn-all
          --namespace=Adnet --nsversion=1.0 --identifier-prefix=Adnet --symbol-prefix=adnet
          --include=Gtk-4.0 --pkg=gtk4 --c-include=adnet/adnet-gtk.h
          -I${CMAKE_SOURCE_DIR}/include
          --library=adnet --library-path=$<TARGET_FILE_DIR:adnet_shared>
          --output=${gir} ${headers}
  DEPENDS adnet_shared ${headers}
  COMMENT "Introspecting libadnet's widget" VERBATIM)
add_custom_command(OUTPUT ${typelib}
  COMMAND ${G_IR_COMPILER} --output=${typelib} ${gir}
  DEPENDS ${gir} VERBATIM)
add_custom_target(adnet_gir ALL DEPENDS ${gir} ${typelib})

install(FILES ${gir} DESTINATION ${CMAKE_INSTALL_DATADIR}/gir-1.0)
install(FILES ${typelib} DESTINATION ${CMAKE_INSTALL_LIBDIR}/girepository-1.0)
