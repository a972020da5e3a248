#include "shell/product_services.h"

#include "shell/self_update.h"

// Each subsystem plugs its functions into its group here as it is completed;
// until then its hooks stay empty and a run stops, with the group's text on
// the error line, at the first step that needs it.
clv::RunServices gf_productRunServices() {
    clv::RunServices services;
    services.update.checkNewVersion = gf_checkNewVersion;
    services.update.updateSimaddon = [] { gf_updateSimaddon(); };
    return services;
}
