# Reads a package's tables back with msiinfo and fails unless each expected row is there:
# the service as -load registers it, the custom actions and their data, the upgrade rows, the
# components' 64-bit flag for the bitness, no default for the settings' properties, and the
# summary's word on where the reader library goes.
#   cmake -DMSIINFO=... -DMSI=... -DARCH=x64|x86 -DVERSION=... -P check_msi_tables.cmake
cmake_minimum_required(VERSION 3.25)

function(export_table table out)
  execute_process(COMMAND ${MSIINFO} export ${MSI} ${table} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "msiinfo export ${MSI} ${table} failed")
  endif()
  string(REPLACE "\r" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# expect_row(TABLE "FIELD|FIELD|..."): a row of exactly these fields (msiinfo separates them
# by tabs).
function(expect_row table fields)
  export_table(${table} text)
  string(REPLACE "|" "\t" row "${fields}")
  string(FIND "\n${text}" "\n${row}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${table} has no row\n  ${row}\nit holds:\n${text}")
  endif()
endfunction()

set(description "Keeps this computer's clock in step with the time code of the reader board.")
expect_row(ServiceInstall "Service|ZYN_NT_Horavex2|ZYN NT Horavex Service2|16|2|1||||||Program|${description}")
# Stopped at an installation and a removal (0x2, 0x20), deleted at a removal (0x80), waited for.
expect_row(ServiceControl "Service|ZYN_NT_Horavex2|162||1|Program")
expect_row(Upgrade "{9D3C6F2E-58A1-4B7C-A0E4-6F1D2B8C7E35}|0.0.0|${VERSION}||256||OLDERVERSIONFOUND")
expect_row(Upgrade "{9D3C6F2E-58A1-4B7C-A0E4-6F1D2B8C7E35}|${VERSION}|||2||NEWERVERSIONFOUND")
expect_row(LaunchCondition "NOT NEWERVERSIONFOUND|A newer version of RUZivEr2 is installed: remove it first to install this one.")
expect_row(Property "ALLUSERS|1")
expect_row(CustomAction "CompleteService.Data|2099|CompleteService|[TIMEBASE];[SLOP];[PRECISE];[EDGEDELAY];[INSTALLFOLDER]RUZivEr2.exe|")
# DLL entries from the Binary table: immediate (1); deferred (1024), not impersonated (2048).
expect_row(CustomAction "CheckSettings|2049|PackageActions|CheckSettings|")
expect_row(CustomAction "CompleteService|3073|PackageActions|CompleteService|")
expect_row(CustomAction "RemoveService|3073|PackageActions|RemoveService|")
expect_row(InstallExecuteSequence "CheckSettings|NOT (REMOVE~=\"ALL\")|1002")
expect_row(InstallExecuteSequence "CompleteService|NOT (REMOVE~=\"ALL\")|5801")
expect_row(InstallExecuteSequence "RemoveService|REMOVE~=\"ALL\"|1850")
if(ARCH STREQUAL x64)
  set(bitness 256)
  set(folder ProgramFiles64Folder)
else()
  set(bitness 0)
  set(folder ProgramFilesFolder)
endif()
foreach(component Program Readme)
  export_table(Component text)
  string(REGEX MATCH "\n${component}\t[^\t]*\tINSTALLFOLDER\t${bitness}\t\t${component}\n" row "\n${text}")
  if(row STREQUAL "")
    message(FATAL_ERROR "Component ${component} is not in INSTALLFOLDER with attributes ${bitness}:\n${text}")
  endif()
endforeach()
expect_row(Directory "INSTALLFOLDER|${folder}|RUZivEr2")

# A property with a row here would be "given" at every installation: an upgrade could not
# tell it from the administrator's and would overwrite the settings in force.
export_table(Property text)
foreach(property TIMEBASE SLOP PRECISE EDGEDELAY)
  if(text MATCHES "\n${property}\t")
    message(FATAL_ERROR "Property has a row for ${property}")
  endif()
endforeach()

execute_process(COMMAND ${MSIINFO} suminfo ${MSI} OUTPUT_VARIABLE summary)
string(FIND "${summary}" "Comments: The maker's reader library ZYN_NTTC.dll is not in this package: copy it beside RUZivEr2.exe" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the summary does not say where the reader library goes:\n${summary}")
endif()
message(STATUS "${MSI}: tables as expected")
