// Saved for the layer check: base naming an engine header from its own folder.
#include "../engine/settings_word.h"
