// The description pass, the whole work of blurbo: the Squish configuration
// copied line by line, compacted and with its echo areas described, then
// put in place with the previous file kept under a backup name.
#ifndef ORVANE_BLURBO_DESCRIPTION_PASS_H
#define ORVANE_BLURBO_DESCRIPTION_PASS_H

#include <string>

namespace blurbo {

// The temporary file's name, beside the configuration.
inline constexpr char kTempFileName[] = "squish_.cfg.tmp";

// The backup name beside the configuration, with the drawn suffix.
std::string BackupName(const std::string& squishPath,
                       const std::string& suffix);

// Runs the pass over PluginParams().SquishPath, as one safe edit. Ends the
// run through FinishPlugin with "01" when the configuration cannot be
// opened (or no path is given), "04" when the temporary file cannot be
// created or the configuration must be left alone, "05" when the
// description list cannot be opened. Otherwise returns; a failed read,
// write, flush or close leaves the configuration in place, the new text in
// the temporary file and the failure pending, as does a backup name that is
// taken or a replacement the system refuses.
void RunDescriptionPass();

}  // namespace blurbo

#endif  // ORVANE_BLURBO_DESCRIPTION_PASS_H
