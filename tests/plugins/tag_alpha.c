/* Tag test plug-in "alpha" (see tag_plugin.h). */
#define TAG "alpha"
#include "tag_plugin.h"
