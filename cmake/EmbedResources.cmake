# Turns data/resources.list into three generated files:
#   resources.S          one .incbin per blob, so the bytes land in .rodata as-is;
#   resources_table.cpp  the (type, id) -> bytes table that platform/os/resources.cpp reads,
#                        with each blob's FILE as listed (effect files #include by it);
#   data/resource_ids.h  one named constant per id, for the show's code (on the
#                        include path of everything that links the target).
# Re-run at configure time whenever the list changes; the .S is rebuilt whenever
# one of the listed files changes.
function(kelo_embed_resources target list_file asset_dir)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${list_file}")
  file(STRINGS "${list_file}" lines)
  set(gen_dir "${CMAKE_BINARY_DIR}/generated")
  set(asm "\t.section .rodata\n")
  set(decls "")
  set(rows "")
  set(deps "")
  set(ids "")
  set(names "")
  set(n 0)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(LENGTH fields nfields)
    if(NOT nfields EQUAL 4)
      message(FATAL_ERROR "${list_file}: expected 'TYPE ID NAME FILE', got '${line}'")
    endif()
    list(GET fields 0 type)
    list(GET fields 1 id)
    list(GET fields 2 name)
    list(GET fields 3 file)
    if(NOT id MATCHES "^[0-9]+$" OR NOT name MATCHES "^k[A-Za-z0-9]+Id$")
      message(FATAL_ERROR "${list_file}: '${line}': ID must be a number and NAME of the form kSomethingId")
    endif()
    if(name IN_LIST names)
      message(FATAL_ERROR "${list_file}: ${name} is given twice")
    endif()
    list(APPEND names "${name}")
    string(APPEND ids "inline constexpr uint32_t ${name} = ${id}u;  // ${type} ${file}\n")
    set(path "${asset_dir}/${file}")
    if(NOT EXISTS "${path}")
      message(FATAL_ERROR "${list_file}: ${path} does not exist")
    endif()
    string(APPEND asm "\t.global kelo_res_${n}\n\t.balign 16\nkelo_res_${n}:\n\t.incbin \"${path}\"\n\t.global kelo_res_${n}_end\nkelo_res_${n}_end:\n\t.byte 0\n")
    string(APPEND decls "extern const unsigned char kelo_res_${n}[];\nextern const unsigned char kelo_res_${n}_end[];\n")
    string(APPEND rows "    {\"${type}\", ${id}u, kelo_res_${n}, kelo_res_${n}_end, \"${file}\"},\n")
    list(APPEND deps "${path}")
    math(EXPR n "${n} + 1")
  endforeach()
  string(APPEND asm "\t.section .note.GNU-stack,\"\",@progbits\n")
  file(CONFIGURE OUTPUT "${gen_dir}/resources.S" CONTENT "${asm}" @ONLY)
  file(CONFIGURE OUTPUT "${gen_dir}/resources_table.cpp" CONTENT
"// Generated from data/resources.list by cmake/EmbedResources.cmake. Do not edit.
#include \"platform/os/resource_table.h\"

extern \"C\" {
${decls}}

namespace plat::detail {
const ResourceEntry kResourceTable[] = {
${rows}    {nullptr, 0u, nullptr, nullptr, nullptr},
};
}
" @ONLY)
  file(CONFIGURE OUTPUT "${gen_dir}/data/resource_ids.h" CONTENT
"// Generated from data/resources.list by cmake/EmbedResources.cmake. Do not edit.
// The embedded resources by name: change an id there, not here.
#pragma once

#include <cstdint>

${ids}" @ONLY)
  target_include_directories(${target} PUBLIC "${gen_dir}")
  set_source_files_properties("${gen_dir}/resources.S" PROPERTIES OBJECT_DEPENDS "${deps}")
  target_sources(${target} PRIVATE "${gen_dir}/resources.S" "${gen_dir}/resources_table.cpp")
endfunction()

# The show's effect files (the RCDATA entries of `list_file` ending in .fx),
# prepared for the device at build time by `tool` (tools/kelo-fxprep.cpp)
# under the names the show makes them by ("Data\NAME.fx"), and linked into
# `target` with a table that UseEffectsPreparedAtBuildTime() hands to
# platform/fx (main/prepared_effects.h).
function(kelo_prepare_effects target tool list_file shader_dir)
  file(STRINGS "${list_file}" lines)
  set(gen_dir "${CMAKE_BINARY_DIR}/generated/prepared")
  file(MAKE_DIRECTORY "${gen_dir}")
  file(GLOB shader_files CONFIGURE_DEPENDS "${shader_dir}/*.fx" "${shader_dir}/*.fxh")
  set(asm "\t.section .rodata\n")
  set(decls "")
  set(rows "")
  set(outputs "")
  set(n 0)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(NOT line MATCHES "^RCDATA[ \t]" OR NOT line MATCHES "\\.fx$")
      continue()
    endif()
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(GET fields 1 id)
    list(GET fields 3 file)
    get_filename_component(base "${file}" NAME)
    set(out "${gen_dir}/${id}.kfxp")
    # Leak checking is for the tests; a build step that ends with the
    # compiler's process-wide tables still allocated is not a failure.
    add_custom_command(OUTPUT "${out}"
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:${tool}> ${id} "Data\\${base}" "${out}"
      DEPENDS ${tool} ${shader_files}
      COMMENT "Preparing Data\\${base} for the device"
      VERBATIM)
    list(APPEND outputs "${out}")
    string(APPEND asm "\t.global kelo_prep_${n}\n\t.balign 16\nkelo_prep_${n}:\n\t.incbin \"${out}\"\n\t.global kelo_prep_${n}_end\nkelo_prep_${n}_end:\n")
    string(APPEND decls "extern const unsigned char kelo_prep_${n}[];\nextern const unsigned char kelo_prep_${n}_end[];\n")
    string(APPEND rows "    {${id}u, kelo_prep_${n}, kelo_prep_${n}_end},\n")
    math(EXPR n "${n} + 1")
  endforeach()
  string(APPEND asm "\t.section .note.GNU-stack,\"\",@progbits\n")
  file(CONFIGURE OUTPUT "${gen_dir}/prepared.S" CONTENT "${asm}" @ONLY)
  file(CONFIGURE OUTPUT "${gen_dir}/prepared_table.cpp" CONTENT
"// Generated from data/resources.list by cmake/EmbedResources.cmake. Do not edit.
#include \"main/prepared_effects.h\"
#include \"platform/fx/prepared.h\"

extern \"C\" {
${decls}}

namespace {
const plat::fx::PreparedBytes kPrepared[] = {
${rows}};
}

void UseEffectsPreparedAtBuildTime() { plat::fx::UsePreparedEffects(kPrepared, ${n}); }
" @ONLY)
  set_source_files_properties("${gen_dir}/prepared.S" PROPERTIES OBJECT_DEPENDS "${outputs}")
  target_sources(${target} PRIVATE "${gen_dir}/prepared.S" "${gen_dir}/prepared_table.cpp")
endfunction()
