#pragma once

// Registers the form's images (the ":/qmxconfiguration/" resources). They
// live in a static library, whose registration the linker would otherwise
// drop; call once before the form is set up.
void initConfigurationResources();
