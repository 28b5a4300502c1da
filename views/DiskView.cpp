#include "DiskView.h"

#include <sstream>

namespace tabulon {

namespace {

using nlohmann::json;

std::string_view FieldName(DirectoryField field) {
    switch (field) {
    case DirectoryField::StartLump: return "lump";
    case DirectoryField::StartSector: return "sector";
    case DirectoryField::Sectors: break;
    }
    return "sectors";
}

std::string_view JsonFieldName(DirectoryField field) {
    switch (field) {
    case DirectoryField::StartLump: return "startLump";
    case DirectoryField::StartSector: return "startSector";
    case DirectoryField::Sectors: break;
    }
    return "sectors";
}

// "lump 17 vs 20, sectors 10 vs 20"
std::string Differences(const std::vector<DirectoryDifference>& differences) {
    std::string text;
    for (const DirectoryDifference& difference : differences) {
        if (!text.empty()) text += ", ";
        text += std::string(FieldName(difference.Field)) + ' ' + std::to_string(difference.Table) + " vs " +
                std::to_string(difference.Disk);
    }
    return text;
}

std::string Verdict(const std::vector<DirectoryDifference>& differences) {
    return differences.empty() ? "finds it" : "differs (table vs disk): " + Differences(differences);
}

std::string Plural(std::size_t count, std::string_view one) {
    return std::to_string(count) + ' ' + std::string(one) + (count == 1 ? "" : "s");
}

json DifferencesJson(const std::vector<DirectoryDifference>& differences) {
    json list = json::array();
    for (const DirectoryDifference& difference : differences) {
        list.push_back(
            {{"field", JsonFieldName(difference.Field)}, {"table", difference.Table}, {"disk", difference.Disk}});
    }
    return {{"fits", differences.empty()}, {"differences", list}};
}

}  // namespace

std::string DiskLine(const ImageResult& result) {
    const Analysis& run = result.Run;
    if (!run.Disk) {
        const char* why = run.DiskStop              ? StopMessage(*run.DiskStop)
                          : run.Opened() != nullptr ? "the image could not be read"
                                                    : "no container structure recognised";
        return std::string("Disk: unknown (") + why + ")";
    }
    const DiskIdentity& disk = *run.Disk;
    if (disk.Unformatted) return "Disk: unformatted, no sector at all";
    const std::optional<DosName> name = disk.Dos ? disk.Dos : disk.Format;
    if (!name) return "Disk: no DOS recognised, no directory found";
    std::ostringstream line;
    line << "Disk: " << NameOf(*name);
    if (disk.Version) line << ' ' << *disk.Version;
    line << (disk.Dos ? " system disk" : " data disk");
    if (disk.Dos && disk.Format && *disk.Format != *disk.Dos) line << " (directory as " << NameOf(*disk.Format) << ')';
    if (const auto& at = disk.Directory) {
        line << ", directory on cylinder " << at->Cylinder << " (side " << at->Side << ", sector " << at->FirstSector;
        if (at->Sectors) line << ", " << Plural(static_cast<std::size_t>(*at->Sectors), "sector");
        line << "), " << Plural(disk.Files.size(), "file");
    } else {
        line << ", no directory found";
    }
    return line.str();
}

void WriteDisk(const ImageResult& result, const ReportOptions& options, std::ostream& out) {
    const Analysis& run = result.Run;
    out << DiskLine(result) << '\n';
    if (!run.DirectoryCheck) return;
    if (!options.AllSlots) {
        out << "Directory: slot 0 " << Verdict(*run.DirectoryCheck) << '\n';
        return;
    }
    for (std::size_t n = 0; n < run.SlotDirectoryChecks.size(); ++n) {
        if (const auto& check = run.SlotDirectoryChecks[n])
            out << "Directory: slot " << n << ' ' << Verdict(*check) << '\n';
    }
}

void WriteFiles(const ImageResult& result, std::ostream& out) {
    const auto& disk = result.Run.Disk;
    if (!disk || !disk->Directory) {
        out << "Files: none (no directory found)\n";
        return;
    }
    out << "Files: " << disk->Files.size() << '\n';
    for (const DiskFile& file : disk->Files) {
        out << "  " << file.Name;
        if (file.Size) out << "  " << *file.Size;
        if (file.System) out << "  system";
        if (file.Invisible) out << "  invisible";
        out << '\n';
    }
}

std::string BriefDisk(const ImageResult& result) {
    const auto& disk = result.Run.Disk;
    if (!disk) return "-";
    if (disk->Dos) return std::string(NameOf(*disk->Dos));
    if (disk->Format) return std::string(NameOf(*disk->Format)) + " data";
    return "-";
}

json DiskJson(const ImageResult& result, const ReportOptions& options) {
    const Analysis& run = result.Run;
    if (!run.Disk) return nullptr;
    const DiskIdentity& disk = *run.Disk;
    const auto name = [](const std::optional<DosName>& dos) { return dos ? json(NameOf(*dos)) : json(nullptr); };
    json directory = nullptr;
    if (const auto& at = disk.Directory) {
        directory = {{"cylinder", at->Cylinder},
                     {"side", at->Side},
                     {"firstSector", at->FirstSector},
                     {"sectors", at->Sectors ? json(*at->Sectors) : json(nullptr)}};
    }
    // Built in place and moved, not copied: a disk may list hundreds of files.
    json files = json::array();
    files.get_ref<json::array_t&>().reserve(disk.Files.size());
    for (const DiskFile& file : disk.Files) {
        json& entry = files.emplace_back(json::object());
        entry["name"] = file.Name;
        entry["size"] = file.Size ? json(*file.Size) : json(nullptr);
        entry["system"] = file.System;
        entry["invisible"] = file.Invisible;
    }
    json object = json::object();
    object["dos"] = name(disk.Dos);
    object["format"] = name(disk.Format);
    object["version"] = disk.Version ? json(*disk.Version) : json(nullptr);
    object["directory"] = std::move(directory);
    object["files"] = std::move(files);
    object["evidence"] = disk.Evidence;
    object["unformatted"] = disk.Unformatted;
    object["directoryCheck"] = run.DirectoryCheck ? DifferencesJson(*run.DirectoryCheck) : json(nullptr);
    if (options.AllSlots && run.DirectoryCheck) {
        json fits = json::array();
        for (const auto& check : run.SlotDirectoryChecks) fits.push_back(check ? json(check->empty()) : json(nullptr));
        object["slotsDirectoryFits"] = std::move(fits);
    }
    return object;
}

}  // namespace tabulon
