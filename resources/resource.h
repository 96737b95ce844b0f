// resource.h -- numbers of the module's resources and of their controls,
// shared by the .rc files and the code.
#ifndef NVR_RESOURCES_RESOURCE_H
#define NVR_RESOURCES_RESOURCE_H

#define IDI_NUVAR 1055            // main window and dialog icon

#endif
