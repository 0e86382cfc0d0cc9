# Copies the files matching GLOBS under FROM into OUT (a fuzz target's seed corpus).
file(MAKE_DIRECTORY ${OUT})
foreach(_g IN LISTS GLOBS)
  file(GLOB _files ${FROM}/${_g})
  foreach(_f IN LISTS _files)
    get_filename_component(_n ${_f} NAME)
    file(COPY_FILE ${_f} ${OUT}/${_n} ONLY_IF_DIFFERENT)
  endforeach()
endforeach()
