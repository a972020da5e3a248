#pragma once
// The program's folder and file names. Everything but the program data folder is
// relative to the current folder, from which the program must be started.
#include <filesystem>
#include <string>
#include <vector>

using Path = std::filesystem::path;

// Roaming application data / "Calvorinth"; set by gf_initProgramFolders.
extern Path g_programDataFolder;
// g_programDataFolder / "parameters.xml", as narrow text for the parameter store.
extern std::string g_parametersXmlPath;

// Computes the program data folder from the user's roaming folder. When no home
// can be found the base is empty and the marked line "Could not find the AppData
// path" is logged (so call it once the log is open).
void gf_initProgramFolders();

inline const Path g_airportsFolder{"airports"};
inline const Path g_raVudovodoFolder = g_airportsFolder / "ra_vudovodo";
inline const Path g_myThirdpartyFolder = g_airportsFolder / "my_thirdparty";
inline const Path g_learnedFolder = g_airportsFolder / "learned";
inline const Path g_learnedStockFolder = g_learnedFolder / "stock";
inline const Path g_learnedSimaddonFolder = g_learnedFolder / "simaddon";
inline const Path g_learnedThirdpartyFolder = g_learnedFolder / "thirdparty";
inline const Path g_inputFolder{"input"};
inline const Path g_myRegcodesFolder = g_inputFolder / "my_regcodes";
inline const Path g_outputFolder{"output"};
inline const Path g_outputInfoFolder = g_outputFolder / "info";
inline const Path g_outputErrorsFolder = g_outputFolder / "errors";
inline const Path g_docsFolder{"docs"};

inline const Path g_liveriesScannedFile = g_outputFolder / "LiveriesScanned.xml";
inline const Path g_myParkAirportsFile = g_airportsFolder / "my_park_airports.txt";
inline const Path g_airportsScanLogFile = g_outputInfoFolder / "AirportsScanLog.txt";
inline const Path g_noFltsimSectionFile = g_outputInfoFolder / "AircraftCfgWithNoFltsimSection.txt";
inline const Path g_airlineModelConversionsFile = g_outputInfoFolder / "AirlineModelConversions.txt";
inline const Path g_skippedOnPriorityFile = g_outputInfoFolder / "LiveriesSkippedOnPriority.txt";
inline const Path g_inlineRegcodesFile = g_outputErrorsFolder / "InlineRegcodes.txt";
inline const Path g_invalidAirlineCodesFile = g_outputErrorsFolder / "InvalidAirlineCodes.txt";
inline const Path g_invalidAircraftCodesFile = g_outputErrorsFolder / "InvalidAircraftCodes.txt";
inline const Path g_fixesFile = g_outputErrorsFolder / "Fixes.txt";
inline const Path g_invalidAircraftCfgFilesFile = g_outputErrorsFolder / "InvalidAircraftCfgFiles.txt";
inline const Path g_incompleteFltsimFile = g_outputErrorsFolder / "IncompleFltsimSections.txt";
inline const Path g_unreadableFoldersFile = g_outputErrorsFolder / "UnreadableLiveryFolders.txt";
inline const Path g_callsign2ObjectIdFile{"Callsign2ObjectId.txt"};
inline const Path g_airportsMsfsFile{"airports_msfs.xml"};
inline const Path g_versionJsonFile{"version.json"};

// Path components below the simulator's folders and packages.
inline constexpr const char* kCommunityFolderName = "Community";
inline constexpr const char* kOfficialFolderName = "Official";
inline constexpr const char* kOfficial2024FolderName = "Official2024";
inline constexpr const char* kInsideSystemsName = "InsideSystems";
inline constexpr const char* kFsBaseName = "fs-base";
inline constexpr const char* kTbloName = "TBLO";

// The folders the start-up check creates when missing, parents before children.
const std::vector<const Path*>& gf_foldersCreatedAtStart();
