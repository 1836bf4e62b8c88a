// The functions of the accessibility module's table (accessibility_module.h), each as the table
// describes it: the controls (module_controls.cpp), the snap targets and the service's services
// (module_targets.cpp). None throws.
#pragma once

#include "virelo/protocol/accessibility_module.h"

namespace virelo::module {

virelo_controls* controlsOpen(const char* display, int32_t timeoutMS,
                              virelo_accessibility_error* error);
void controlsClose(virelo_controls* controls);
int32_t controlsReach(virelo_controls* controls, virelo_accessibility_error* error);
void controlsFind(virelo_controls* controls, const virelo_controls_filter* filter,
                  const virelo_control_sink* sink, virelo_accessibility_error* error);
void controlsRoleNames(virelo_controls* controls, void (*role)(void*, const char*), void* context,
                       virelo_accessibility_error* error);

void controlsAct(virelo_controls* controls, uint64_t handle, const char* action,
                 void (*done)(void*, const char*), void* context,
                 virelo_accessibility_error* error);

void findTargets(const char* display, double x, double y, const virelo_target_sink* sink,
                 virelo_accessibility_error* error);
virelo_accessibility_services* servicesOpen(const char* display, virelo_accessibility_error* error);
void servicesClose(virelo_accessibility_services* services);

}  // namespace virelo::module
