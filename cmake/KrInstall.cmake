# Installing and packaging: `cmake --install <build>` lays out a Linux install
# tree (GNUInstallDirs), `cpack -G DEB` in the build folder makes a .deb of it.
#
# An installed copy finds its read-only files in <prefix>/share/kr, which the
# program reaches from its own folder as ../share/kr (settings/Appglob), so the
# two folders keep their default names here.
include(GNUInstallDirs)

set(kr_desktop_dir ${PROJECT_SOURCE_DIR}/shell/desktop)
set(kr_app_id org.krcompanion.kr)
set(kr_data_dir ${CMAKE_INSTALL_DATADIR}/kr)

install(TARGETS kr kr-cli kr-meter-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The installed programs bind every symbol at start, so the loader can make
# their relocation tables read-only.
foreach(program kr kr-cli kr-meter-sim)
  target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
endforeach()

install(FILES ${KR_FACTORS_FILE} DESTINATION ${kr_data_dir})
# A firm copies it as report.txt into its program folder to brand its reports.
install(FILES ${PROJECT_SOURCE_DIR}/shell/report-template.txt DESTINATION ${kr_data_dir})
if(TARGET kr-guides)
  get_property(kr_guide_dir GLOBAL PROPERTY KR_GUIDE_DIR)
  install(FILES "${kr_guide_dir}/kr user guide.pdf" "${kr_guide_dir}/Working with your KR.pdf"
          DESTINATION ${kr_data_dir})
endif()

install(FILES ${kr_desktop_dir}/${kr_app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${kr_desktop_dir}/${kr_app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${kr_desktop_dir}/${kr_app_id}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${kr_app_id}.xml)
install(FILES ${kr_desktop_dir}/${kr_app_id}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages and the changelog go out compressed as Debian wants them:
# gzip -9n, so the archive holds no name or time and builds the same each time.
find_program(KR_GZIP gzip REQUIRED)
set(kr_packed_dir ${PROJECT_BINARY_DIR}/packed)
set(kr_packed)
foreach(source IN ITEMS ${PROJECT_SOURCE_DIR}/shell/man/kr.1 ${PROJECT_SOURCE_DIR}/tools/cli/kr-cli.1
                        ${PROJECT_SOURCE_DIR}/tools/sim/kr-meter-sim.1 ${PROJECT_SOURCE_DIR}/cmake/deb/changelog)
  get_filename_component(name ${source} NAME)
  set(packed ${kr_packed_dir}/${name}.gz)
  add_custom_command(
    OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${kr_packed_dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${kr_packed_dir}/${name}
    COMMAND ${KR_GZIP} -9nf ${kr_packed_dir}/${name}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND kr_packed ${packed})
endforeach()
add_custom_target(kr-packed ALL DEPENDS ${kr_packed})
install(FILES ${kr_packed_dir}/kr.1.gz ${kr_packed_dir}/kr-cli.1.gz ${kr_packed_dir}/kr-meter-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(kr_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/kr)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/deb/copyright ${kr_packed_dir}/changelog.gz DESTINATION ${kr_doc_dir})

# A stripping install (cpack, cmake --install --strip) also drops the
# compiler's .comment section, which only names the compiler.
if(CMAKE_OBJCOPY)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program kr kr-cli kr-meter-sim)
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                        COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()")
endif()

# Menus that cannot scale the SVG take the 256-pixel picture, drawn from it at build time.
find_program(KR_RSVG_CONVERT rsvg-convert)
if(KR_RSVG_CONVERT)
  set(kr_icon_png ${PROJECT_BINARY_DIR}/desktop/${kr_app_id}.png)
  add_custom_command(
    OUTPUT ${kr_icon_png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/desktop
    COMMAND ${KR_RSVG_CONVERT} -w 256 -h 256 -o ${kr_icon_png} ${kr_desktop_dir}/${kr_app_id}.svg
    DEPENDS ${kr_desktop_dir}/${kr_app_id}.svg
    COMMENT "Drawing the 256-pixel icon"
    VERBATIM)
  add_custom_target(kr-icon ALL DEPENDS ${kr_icon_png})
  install(FILES ${kr_icon_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
else()
  message(WARNING "rsvg-convert not found (librsvg2-bin): only the scalable icon is installed")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kr)
set(CPACK_PACKAGE_VENDOR "KR companion developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program for the KR wood moisture meter")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "KR companion developers <kr@krcompanion.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The archive's SQLite driver is a plugin Qt loads at run time: no library
# links it, so the shared-library scan cannot find it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6sql6-sqlite)
# The printouts are laid out in Arial's metrics.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation2)
# Debian wants the long description in lines of at most 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
  "Downloads the readings of a KR hand-held wood moisture meter over a serial
line into data files (*.krx), shows them meter file by meter file, adds
comments and notes, copies them to a spreadsheet, prints them, and erases
the meter only after a safe backup. It also edits the meter's species
library against a catalogue of commercial species.

kr-cli does the same jobs from the command line; kr-meter-sim simulates a
meter on a pseudo-terminal for training and demonstrations.")
include(CPack)
