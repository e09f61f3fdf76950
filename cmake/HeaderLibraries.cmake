# Debian's header-only libraries for the tools, one imported target each, in every preset:
#   corvane::cli11 (libcli11-dev), corvane::json (nlohmann-json3-dev), corvane::eigen
#   (libeigen3-dev), corvane::stb (libstb-dev: stb_image_write, stb_truetype).
# Natively they are where the compiler looks anyway. The mingw presets must never see /usr/include
# itself (glibc's headers would shadow mingw's), so they get a folder of their own holding links to
# just these libraries' folders; Eigen has a folder of its own already.
set(corvane_header_root /usr/include)
if(WIN32)
  set(corvane_header_root ${CMAKE_BINARY_DIR}/header-libraries)
  file(MAKE_DIRECTORY ${corvane_header_root})
  foreach(dir CLI nlohmann stb)
    if(NOT EXISTS /usr/include/${dir})
      message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/install-deps.sh")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${corvane_header_root}/${dir} SYMBOLIC)
  endforeach()
endif()
if(NOT EXISTS /usr/include/eigen3/Eigen)
  message(FATAL_ERROR "/usr/include/eigen3 is missing: run scripts/install-deps.sh")
endif()

foreach(library cli11 json stb)
  add_library(corvane_${library} INTERFACE)
  add_library(corvane::${library} ALIAS corvane_${library})
  if(WIN32)
    target_include_directories(corvane_${library} SYSTEM INTERFACE ${corvane_header_root})
  endif()
endforeach()
add_library(corvane_eigen INTERFACE)
add_library(corvane::eigen ALIAS corvane_eigen)
target_include_directories(corvane_eigen SYSTEM INTERFACE /usr/include/eigen3)
