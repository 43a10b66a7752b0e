#pragma once

// Registers the uploader's images (the ":/QMXFirmwareUploader/" resources).
// They live in a static library, whose registration the linker would
// otherwise drop; any number of calls register them once.
void initFirmwareUploaderResources();
