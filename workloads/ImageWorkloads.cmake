# Sources of the image and archive workloads, added to orv_workloads.
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
target_sources(orv_workloads PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ImageWorkloads.cpp ${CMAKE_CURRENT_LIST_DIR}/ImageWorkloads.h
  ${CMAKE_CURRENT_LIST_DIR}/SevenZip.cpp ${CMAKE_CURRENT_LIST_DIR}/SevenZip.h
  ${CMAKE_CURRENT_LIST_DIR}/SevenZipInterfaces.h
  ${CMAKE_CURRENT_LIST_DIR}/PngImage.cpp ${CMAKE_CURRENT_LIST_DIR}/PngImage.h
  ${CMAKE_CURRENT_LIST_DIR}/Bitmap.cpp ${CMAKE_CURRENT_LIST_DIR}/Bitmap.h
  ${CMAKE_CURRENT_LIST_DIR}/JpegEncoder.cpp ${CMAKE_CURRENT_LIST_DIR}/JpegEncoder.h)
target_link_libraries(orv_workloads PUBLIC orv_testpicture PNG::PNG JPEG::JPEG ${CMAKE_DL_LIBS})
# The engine's objects are not of the types we declare for them, so the undefined-behaviour sanitizer's
# type check cannot follow calls across the interface; the ABI tests check those calls instead.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/SevenZip.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=vptr)
