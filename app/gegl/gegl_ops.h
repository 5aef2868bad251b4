#pragma once
/// The GEGL operations over the application's core: the textures as sources
/// (loomwork:nimbra, ...), the stereo filter as a composer (loomwork:anaglyph: input the
/// left view, aux the right) and as a filter of side-by-side pictures
/// (loomwork:anaglyph-sbs). Every entry GEGL calls catches everything: a failure is a
/// warning through GLib's log and an empty (transparent) result, never the end of the host.

#include <gegl-plugin.h>

#include <string>

namespace loom::gegl_ops {

/// Registers the four texture sources with the module.
void RegisterTextureOps(GTypeModule* module);
/// Registers loomwork:anaglyph and loomwork:anaglyph-sbs, with their enum types.
void RegisterAnaglyphOps(GTypeModule* module);

/// A GEGL property name from a parameter name: lower case, every run of other characters
/// one '-' ("Horizontal/U - Radial" -> "horizontal-u-radial").
std::string PropertyName(const std::string& paramName);

/// Makes sure the process's plug-ins are loaded (from LOOMHOST_PLUGINS, else the folder
/// beside the installed core); false when none could be (logged once).
bool PluginsReady();

}  // namespace loom::gegl_ops
