#pragma once
// Connects the park-position file reader to what this part adds below it: the
// park airport's code and altitude, fetching from the server, the learned file's
// path and its merge.

// Installs those hooks of apfReadHooks (the others are left as they are).
void gf_installAirportFileHooks();
