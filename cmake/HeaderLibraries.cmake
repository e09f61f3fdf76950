# Debian's header-only libraries for the tools, in every preset: CLI11 (libcli11-dev),
# nlohmann-json (nlohmann-json3-dev), stb (libstb-dev) and Eigen (libeigen3-dev). A target says
# which it uses by linking corvane::cli11, corvane::json, corvane::stb or corvane::eigen.
#
# They install under /usr/include, which must never be on a mingw include path (glibc's headers
# would shadow mingw's): each preset gets a folder of its own in the build tree holding symlinks
# to the libraries' folders, and Eigen's own folder, both as system includes (their code is not
# held to our warnings).
set(corvane_header_dir ${CMAKE_BINARY_DIR}/header-libraries)
file(MAKE_DIRECTORY ${corvane_header_dir})

function(corvane_header_library name folder package)
  if(NOT IS_DIRECTORY /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: install ${package} "
                        "(scripts/install-deps.sh)")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${corvane_header_dir}/${folder} SYMBOLIC)
  add_library(corvane_${name} INTERFACE)
  target_include_directories(corvane_${name} SYSTEM INTERFACE ${corvane_header_dir})
  add_library(corvane::${name} ALIAS corvane_${name})
endfunction()

corvane_header_library(cli11 CLI libcli11-dev)
corvane_header_library(json nlohmann nlohmann-json3-dev)
corvane_header_library(stb stb libstb-dev)

if(NOT IS_DIRECTORY /usr/include/eigen3/Eigen)
  message(FATAL_ERROR "/usr/include/eigen3 is missing: install libeigen3-dev "
                      "(scripts/install-deps.sh)")
endif()
add_library(corvane_eigen INTERFACE)
target_include_directories(corvane_eigen SYSTEM INTERFACE /usr/include/eigen3)
add_library(corvane::eigen ALIAS corvane_eigen)
