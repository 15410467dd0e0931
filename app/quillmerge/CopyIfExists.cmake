# cmake -DSOURCE=<file> -DDESTINATION=<file> -P CopyIfExists.cmake
if(EXISTS "${SOURCE}")
    get_filename_component(folder "${DESTINATION}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${SOURCE}" "${DESTINATION}" ONLY_IF_DIFFERENT)
endif()
