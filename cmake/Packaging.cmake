# The Debian package of the installed tree: `cmake --preset package && cmake --build --preset
# package && cpack --preset package` writes build/package/orvane_<version>_<arch>.deb.
#
# Runtime dependencies: the libraries the binaries link (Qt 6, FluidSynth, libstdc++, ...) come
# from dpkg-shlibdeps (Qt's xcb platform plugin is part of libqt6gui6); the rest is named here:
# a General MIDI SoundFont, and the FFmpeg libraries the audio decoder loads with dlopen (src/tempo/FFmpegAudioFileDecoder.cpp), which dpkg-shlibdeps cannot see. Their Debian
# package names follow the sonames of the headers we build against (libavformat.so.59 ->
# libavformat59).
pkg_check_modules(ORVANE_DLOPENED_FFMPEG REQUIRED libavformat libavcodec libswresample libavutil)
set(_orvane_depends "fluid-soundfont-gm | timgm6mb-soundfont")
foreach(_module libavformat libavcodec libswresample libavutil)
  string(REGEX MATCH "^[0-9]+" _major "${ORVANE_DLOPENED_FFMPEG_${_module}_VERSION}")
  if(NOT _major)
    message(FATAL_ERROR "No version for ${_module} from pkg-config")
  endif()
  string(APPEND _orvane_depends ", ${_module}${_major}")
endforeach()
if(TARGET orvane)
  # The fonts of every glyph the window shows (DejaVu Sans by name; ▶ ⏸ ⏮ ↻ ♩ and the colour
  # emoji of the status line). Qt's Wayland platform plugin is only suggested: its QML stack is
  # large, and the xcb plugin of libqt6gui6 also runs on Wayland desktops (XWayland).
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, fonts-symbola, fonts-noto-color-emoji")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvane developers")
set(CPACK_PACKAGE_CONTACT "Orvane developers <maintainers@orvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "take a MIDI file apart and put parts of it back together")
# The first line of Description is the summary above; this is the long text after it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Orvane lists the musical tracks of a Standard MIDI File or a MIDI 2.0 Clip
file, plays them through a General MIDI software synthesizer, changes tempo,
transposition, instruments and mixer values, and writes split, merged and
looped files. Dropping an audio file detects its tempo. The command-line
tool orvane-cli does the same file work in batch.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_orvane_depends}")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
