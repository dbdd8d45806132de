# A package's tables read back with msiinfo: the service as -load registers it, custom actions,
# upgrade rows, components' bitness, no Property row for the settings (it would count as given).
#   cmake -DMSIINFO=... -DMSI=... -DARCH=x64|x86 -DVERSION=... -P check_msi_tables.cmake
cmake_minimum_required(VERSION 3.25)

# expect(TABLE "FIELD|FIELD|..." [NOT]): the row with exactly these fields is there (or not).
function(expect table fields)
  execute_process(COMMAND ${MSIINFO} export ${MSI} ${table} OUTPUT_VARIABLE text)
  string(REPLACE "|" "\t" row "${fields}")
  if(fields MATCHES "{\\*}")  # any code
    string(REGEX REPLACE "{[-0-9A-F]+}" "{*}" text "${text}")
  endif()
  string(FIND "\n${text}" "\n${row}" at)
  if(ARGC EQUAL 2 AND at EQUAL -1)
    message(FATAL_ERROR "${table} has no row ${row}\n${text}")
  elseif(ARGC EQUAL 3 AND NOT at EQUAL -1)
    message(FATAL_ERROR "${table} has a row ${row}")
  endif()
endfunction()

set(upgrade "{9D3C6F2E-58A1-4B7C-A0E4-6F1D2B8C7E35}")
expect(ServiceInstall "Service|ZYN_NT_Horavex2|ZYN NT Horavex Service2|16|2|1||||||Program|Keeps this computer's clock in step with the time code of the reader board.\n")
# Stopped at an installation and a removal (0x2, 0x20), deleted at a removal (0x80).
expect(ServiceControl "Service|ZYN_NT_Horavex2|162||1|Program\n")
expect(Upgrade "${upgrade}|0.0.0|${VERSION}||256||OLDERVERSIONFOUND\n")
expect(Upgrade "${upgrade}|${VERSION}|||2||NEWERVERSIONFOUND\n")
expect(CustomAction "CompleteService.Data|2099|CompleteService|[TIMEBASE];[SLOP];[PRECISE];[EDGEDELAY];[INSTALLFOLDER]RUZivEr2.exe|\n")
# 1: from the Binary table; 1024: deferred; 2048: not impersonated.
expect(CustomAction "CheckSettings|2049|PackageActions|CheckSettings|\n")
expect(CustomAction "CompleteService|3073|PackageActions|CompleteService|\n")
expect(CustomAction "RemoveService|3073|PackageActions|RemoveService|\n")
set(bits_x64 256)  # 64-bit components
set(bits_x86 0)
foreach(component Program Readme)
  expect(Component "${component}|{*}|INSTALLFOLDER|${bits_${ARCH}}||${component}\n")
endforeach()
foreach(property TIMEBASE SLOP PRECISE EDGEDELAY)
  expect(Property "${property}\t" NOT)
endforeach()
execute_process(COMMAND ${MSIINFO} suminfo ${MSI} OUTPUT_VARIABLE summary)
if(NOT summary MATCHES "Comments: The maker's reader library ZYN_NTTC.dll is not in this package: copy it beside RUZivEr2.exe")
  message(FATAL_ERROR "the summary does not say where the reader library goes:\n${summary}")
endif()
