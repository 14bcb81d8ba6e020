# Run by cpack before it makes the Debian package (CPACK_PRE_BUILD_SCRIPTS).
# The package's library dependencies are computed by dpkg-shlibdeps, which
# CPack runs on the files `file` calls ELF. Without either tool CPack would
# still make a package, with none of the libraries among its dependencies,
# that installs anywhere and then cannot start; so the package is not made.
set(missing_tools)
set(missing_packages)
foreach(tool_and_package "file=file" "dpkg-shlibdeps=dpkg-dev")
    string(REPLACE "=" ";" pair "${tool_and_package}")
    list(GET pair 0 tool)
    list(GET pair 1 package)
    find_program(tool_path_${tool} ${tool})
    if(NOT tool_path_${tool})
        list(APPEND missing_tools ${tool})
        list(APPEND missing_packages ${package})
    endif()
endforeach()
if(missing_tools)
    list(JOIN missing_tools " and " tools)
    list(JOIN missing_packages " " packages)
    message(FATAL_ERROR
        "The package's dependencies cannot be computed: ${tools} not found.\n"
        "Install what is missing, then run cpack again. As root:\n"
        "    apt-get install ${packages}")
endif()
