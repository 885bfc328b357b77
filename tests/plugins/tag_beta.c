/* Tag test plug-in "beta" (see tag_plugin.h). */
#define TAG "beta"
#include "tag_plugin.h"
