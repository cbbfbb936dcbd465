# Generates the property lists Corvel.app carries (Info.plist, the watchdog's launch agent and the
# Info.plist linked into the watchdog) from the one bundle identifier. Runs on every platform, so the
# files can be checked where no Mac is at hand; the Mac build puts these very files into the bundle.
set(CORVEL_APP_EXECUTABLE Corvel)
set(CORVEL_WATCHDOG_EXECUTABLE CorvelWatchdog)
set(CORVEL_WATCHDOG_LABEL ${CORVEL_BUNDLE_IDENTIFIER}.watchdog)
set(CORVEL_WATCHDOG_IDENTIFIER ${CORVEL_WATCHDOG_LABEL})
set(CORVEL_WATCHDOG_PROGRAM Contents/MacOS/${CORVEL_WATCHDOG_EXECUTABLE})

set(CORVEL_MAC_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated/mac)
set(CORVEL_MAC_INFO_PLIST ${CORVEL_MAC_GENERATED_DIR}/Info.plist)
# SMAppService looks the agent up by this file name, so the name is part of the contract.
set(CORVEL_MAC_AGENT_PLIST ${CORVEL_MAC_GENERATED_DIR}/LaunchAgents/${CORVEL_WATCHDOG_LABEL}.plist)
set(CORVEL_MAC_WATCHDOG_INFO_PLIST ${CORVEL_MAC_GENERATED_DIR}/Watchdog/Info.plist)

configure_file(${PROJECT_SOURCE_DIR}/cmake/Info.plist.in ${CORVEL_MAC_INFO_PLIST} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/watchdog.plist.in ${CORVEL_MAC_AGENT_PLIST} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/WatchdogInfo.plist.in ${CORVEL_MAC_WATCHDOG_INFO_PLIST} @ONLY)
