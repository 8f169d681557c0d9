# The layers of the core library (src/core/<layer>/), each its own target brindle_<layer>.
#
#   brindle_add_layer(<layer> [HEADER_ONLY]
#                     SOURCES <files, relative to the calling directory>
#                     [LAYERS <layers it uses directly>]
#                     [LIBRARIES <other libraries it uses>])
#
# A layer may use only layers declared before it, so the layers form a graph without
# cycles. The build holds every layer to its declaration twice:
#   - at configure time, a source of the layer that includes "<other layer>/..." of a
#     layer it does not reach through LAYERS stops the configuration, naming the file;
#   - at build time, brindle_<layer>_linkcheck links the whole of the layer's archive
#     (--whole-archive) with only what it declares, so a call into any other layer is an
#     undefined reference.
# BRINDLE_CORE_LAYERS, set by the caller, lists every layer name, so that includes of a
# layer not yet declared are recognised too.

set(BRINDLE_LAYER_LINKCHECK_MAIN ${CMAKE_CURRENT_LIST_DIR}/layerlinkcheck.cpp)

function(brindle_check_layer_includes layer reach)
    foreach(source IN LISTS ARGN)
        file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/${source} includes
             REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z0-9_]+/")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([A-Za-z0-9_]+)/.*" "\\1"
                   included "${line}")
            if(included IN_LIST BRINDLE_CORE_LAYERS AND NOT included IN_LIST reach)
                string(REPLACE ";" ", " reach_text "${reach}")
                message(FATAL_ERROR
                    "${CMAKE_CURRENT_SOURCE_DIR}/${source} includes a header of layer "
                    "'${included}' (${line}), which layer '${layer}' does not use: it may "
                    "include only ${reach_text}. Move the code to the right layer instead of "
                    "adding a dependency that makes a cycle.")
            endif()
        endforeach()
    endforeach()
endfunction()

function(brindle_add_layer layer)
    cmake_parse_arguments(PARSE_ARGV 1 arg "HEADER_ONLY" "" "SOURCES;LAYERS;LIBRARIES")
    if(NOT layer IN_LIST BRINDLE_CORE_LAYERS)
        message(FATAL_ERROR "Layer '${layer}' is missing from BRINDLE_CORE_LAYERS")
    endif()
    set(target brindle_${layer})

    # What the layer reaches: itself and, through each layer it uses, what that one reaches.
    set(reach ${layer})
    foreach(lower IN LISTS arg_LAYERS)
        if(NOT TARGET brindle_${lower})
            message(FATAL_ERROR "Layer '${layer}' uses '${lower}', which is not declared before it")
        endif()
        get_property(lower_reach GLOBAL PROPERTY BRINDLE_LAYER_REACH_${lower})
        list(APPEND reach ${lower_reach})
    endforeach()
    list(REMOVE_DUPLICATES reach)
    set_property(GLOBAL PROPERTY BRINDLE_LAYER_REACH_${layer} ${reach})
    brindle_check_layer_includes(${layer} "${reach}" ${arg_SOURCES})

    list(TRANSFORM arg_LAYERS PREPEND brindle_ OUTPUT_VARIABLE layer_targets)
    if(arg_HEADER_ONLY)
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
        target_link_libraries(${target} INTERFACE brindle_options ${layer_targets} ${arg_LIBRARIES})
        return()
    endif()

    add_library(${target} STATIC ${arg_SOURCES})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC brindle_options ${layer_targets} ${arg_LIBRARIES})

    add_executable(${target}_linkcheck ${BRINDLE_LAYER_LINKCHECK_MAIN})
    set_target_properties(${target}_linkcheck PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
    target_link_libraries(${target}_linkcheck PRIVATE
        brindle_options -Wl,--whole-archive ${target} -Wl,--no-whole-archive)
endfunction()
