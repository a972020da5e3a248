#include "core/folders.h"

#include "core/log.h"
#include "core/product.h"
#include "platform/appdata.h"

Path g_programDataFolder{clv::kProductName};
std::string g_parametersXmlPath = (g_programDataFolder / "parameters.xml").string();

void gf_initProgramFolders() {
    auto roaming = clv::platform::roamingAppDataFolder();
    if (!roaming) gf_logMarked("Could not find the AppData path");
    g_programDataFolder = roaming.value_or(Path{}) / clv::kProductName;
    g_parametersXmlPath = (g_programDataFolder / "parameters.xml").string();
}

const std::vector<const Path*>& gf_foldersCreatedAtStart() {
    static const std::vector<const Path*> folders{
        &g_airportsFolder,      &g_raVudovodoFolder,     &g_myThirdpartyFolder,     &g_learnedFolder,
        &g_learnedStockFolder,  &g_learnedSimaddonFolder, &g_learnedThirdpartyFolder, &g_myRegcodesFolder,
        &g_outputFolder,        &g_outputInfoFolder,     &g_outputErrorsFolder};
    return folders;
}
