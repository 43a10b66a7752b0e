#include "ConfigurationResources.h"

#include <QtGlobal>

void initConfigurationResources() { Q_INIT_RESOURCE(QMXConfiguration); }
