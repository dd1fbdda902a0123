# Install layout and the Debian package.
#
# Everything the programs find "beside the program" goes into one folder,
# <prefix>/lib/tessaly/program: the programs, the reader plug-ins (framepull.vfp,
# soundpull.vfp), lang/tessaly.lng and help/, as in the build tree's bin/. (One level
# below lib/tessaly, so that the package gets no ldconfig scripts for plug-ins that are
# only ever loaded by path.) <prefix>/bin holds relative symbolic links to the programs;
# the programs find their folder through /proc/self/exe, which names the real file, so
# the links need no wrapper. The desktop entry, the icon and the MIME type of ".tsp"
# projects go to the usual places below <prefix>/share.

set(TESSALY_INSTALL_DIR lib/tessaly/program)

set(tessaly_programs tessaly-cli)
if(TARGET tessaly)
    list(APPEND tessaly_programs tessaly)
endif()
install(TARGETS ${tessaly_programs} RUNTIME DESTINATION ${TESSALY_INSTALL_DIR})
foreach(plugin framepull soundpull)
    if(TARGET ${plugin})
        install(TARGETS ${plugin} LIBRARY DESTINATION ${TESSALY_INSTALL_DIR})
    endif()
endforeach()
install(FILES ${TESSALY_LANG_FILES} DESTINATION ${TESSALY_INSTALL_DIR}/lang)
install(FILES ${TESSALY_HELP_FILES} DESTINATION ${TESSALY_INSTALL_DIR}/help)

# The links in bin/, made in the build tree and installed as links.
set(link_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${link_dir})
foreach(program ${tessaly_programs})
    file(CREATE_LINK ../${TESSALY_INSTALL_DIR}/${program} ${link_dir}/${program} SYMBOLIC)
    install(FILES ${link_dir}/${program} DESTINATION bin)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/tessaly.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tessaly-mime.xml DESTINATION share/mime/packages RENAME tessaly.xml)
if(TARGET tessaly)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/tessaly.desktop DESTINATION share/applications)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/tessaly)

# cpack -G DEB: the package "tessaly" for /usr. The libraries the programs and plug-ins
# link come from dpkg-shlibdeps; the GStreamer elements the plug-ins build their
# pipelines from are loaded at run time and are listed by hand.
set(CPACK_PACKAGE_NAME tessaly)
set(CPACK_PACKAGE_VENDOR "Tessaly developers")
set(CPACK_PACKAGE_CONTACT "Tessaly developers <dev@tessaly.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "re-synchronise audio with video by markers on frames")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tessaly moves, stretches and cuts an audio track so that it runs in sync with a video.\n"
    "Markers on video frames bend a smooth shift curve, make the audio jump or switch a\n"
    "second track in; the result AVI copies every video frame as stored beside the newly\n"
    "mixed audio track. Includes the command-line program tessaly-cli, the reader\n"
    "plug-ins framepull and soundpull and an HTML manual.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(tessaly_depends gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav shared-mime-info)
set(tessaly_recommends gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly)
if(TARGET tessaly)
    # The window: SVG icons, the GStreamer media backend and the display platforms.
    list(APPEND tessaly_depends libqt6svg6 libqt6multimedia6)
    list(APPEND tessaly_recommends qt6-qpa-plugins desktop-file-utils)
endif()
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_DEPENDS "${tessaly_depends}")
string(REPLACE ";" ", " CPACK_DEBIAN_PACKAGE_RECOMMENDS "${tessaly_recommends}")
set(CPACK_GENERATOR DEB)
include(CPack)
