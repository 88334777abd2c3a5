# The Debian package: `make package` (cpack) builds it from the install rules.

set(ZALVO_CONTACT "The Zalvo developers <developers@zalvo.org>")
set(ZALVO_HOMEPAGE "https://zalvo.org/")

# Debian keeps every file it compresses reproducible: gzip at its best, without name or date.
function(zalvo_install_gzipped source destination name)
    set(gzipped ${CMAKE_CURRENT_BINARY_DIR}/gz/${name}.gz)
    add_custom_command(
        OUTPUT ${gzipped}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/gz
        COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${source} ${gzipped}
        DEPENDS ${source}
        VERBATIM)
    add_custom_target(zalvo_gz_${name} ALL DEPENDS ${gzipped})
    install(FILES ${gzipped} DESTINATION ${destination})
endfunction()

zalvo_install_gzipped(${PROJECT_SOURCE_DIR}/res/zalvo.1 ${CMAKE_INSTALL_MANDIR}/man1 zalvo.1)
zalvo_install_gzipped(${PROJECT_SOURCE_DIR}/debian/changelog ${CMAKE_INSTALL_DATADIR}/doc/zalvo changelog.Debian)
install(FILES ${PROJECT_SOURCE_DIR}/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zalvo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zalvo)
set(CPACK_PACKAGE_VENDOR "The Zalvo developers")
set(CPACK_PACKAGE_CONTACT ${ZALVO_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small skinned music player")
set(CPACK_PACKAGE_DESCRIPTION "Zalvo plays audio files from one playlist. Its window is a ring of twelve
icons: play or pause, stop, next, previous, repeat, shuffle, volume up and
down, add a track, load and save the playlist, and open the playlist manager.
It plays WAV, AIFF, FLAC, Ogg Vorbis, Opus and MP3 files, and through FFmpeg,
loaded only when a file needs it, AAC (M4A, MP4, 3GP, ADTS), ALAC, WMA,
WavPack, Monkey's Audio, Musepack, TTA, TAK, AC3, E-AC3, DTS, Speex, Matroska
and WebM audio and DSD. Its skin stays sharp at every screen scale.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ZALVO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the linker cannot show: Qt loads its platform plugins at run time, and the player libsndfile,
# libpulse, libsoxr and OpenAL Soft when it first needs them. (OpenAL Soft opens its sound server
# libraries at run time too, but its own package already recommends them.)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libsndfile1, libpulse0, libsoxr0, libopenal1")

include(CPack)
