// The explorer's PC side on a real folder; every outcome checked against the file
// system. Permission cases run in a thread without the capabilities that let root past
// file modes.

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "files/PcSide.h"
#include "support/TempDir.h"

using namespace sorvane;
using namespace sorvane::test;
namespace fs = std::filesystem;
using Kind = PcFolderItem::Kind;

namespace {

void unprivileged(const std::function<void()>& f)
{
    std::thread([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
        data[0].effective = data[1].effective = 0;
        ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
        f();
    }).join();
}

// d: x (file "x"), tree/deep/f, link -> tree, ro/ (mode 0555) holding "kept" and sub/ (0555) holding "f".
struct Sandbox {
    TempDir d;
    PcSide side{{(d / "tree").string()}};
    Sandbox()
    {
        writeFile(d / "x", "x");
        writeFile(d / "tree" / "deep" / "f", "f");
        fs::create_directory_symlink(d / "tree", d / "link");
        writeFile(d / "ro" / "kept", "k");
        writeFile(d / "ro" / "sub" / "f", "f");
        fs::permissions(d / "ro" / "sub", fs::perms(0555));
        fs::permissions(d / "ro", fs::perms(0555));
    }
    ~Sandbox() { fs::permissions(d / "ro", fs::perms(0755)), fs::permissions(d / "ro" / "sub", fs::perms(0755)); }
    std::string at(std::string_view folder) const { return folder.empty() ? "" : (d / folder.substr(1)).string(); }
    // A drive's name is its whole path.
    PaneEntry inside(PaneEntry e) const
    {
        if (e.kind == Kind::Drive)
            e.name = e.text = at(e.name);
        return e;
    }
};

PaneEntry entry(std::string name, Kind kind) { return PaneEntry{name, name, kind, 0, {}, {}}; }

} // namespace

// Each row: one operation, then what the file system holds. A path ending in "/" is a
// folder, any other a regular file.
TEST(PcSide, RenameDeleteAndNewFolderLeaveTheFileSystemAsTheySay)
{
    using Op = std::function<void(Sandbox&, std::function<void(SideOutcome)>)>;
    auto rename = [](const char* folder, PaneEntry e, const char* to) -> Op {
        return [=](Sandbox& s, auto done) { s.side.rename(s.at(folder), s.inside(e), to, done); };
    };
    auto remove = [](std::vector<PaneEntry> entries) -> Op {
        return [=](Sandbox& s, auto done) mutable {
            for (PaneEntry& e : entries)
                e = s.inside(e);
            s.side.remove(s.d.path().string(), entries, done);
        };
    };
    auto make = [](const char* folder) -> Op {
        return [=](Sandbox& s, auto done) { s.side.makeFolder(s.at(folder), done); };
    };
    const PaneEntry x = entry("x", Kind::File), tree = entry("tree", Kind::Folder), drive = entry("/tree", Kind::Drive);
    const std::string renameFailed(kRenameFailed), notAll(kNotAllDeleted);
    const struct {
        Op op;
        bool privileged;
        std::string error, name;
        std::vector<const char*> there, gone;
    } rows[] = {
        {rename("/", x, "y"), true, "", "y", {"y"}, {"x"}},
        {rename("/", entry("link", Kind::Folder), "x"), true, renameFailed, "", {"x"}, {}}, // onto an existing name
        {rename("/", x, "tree/y"), true, renameFailed, "", {"x"}, {"tree/y"}},
        {rename("/", x, ""), true, renameFailed, "", {"x"}, {}},
        {rename("/nope", x, "y"), true, renameFailed, "", {}, {"nope/y"}},
        {rename("/ro", entry("kept", Kind::File), "y"), false, renameFailed, "", {"ro/kept"}, {"ro/y"}},
        {rename("", drive, "y"), true, renameFailed, "", {"tree/deep/f"}, {"y"}},
        {remove({tree, x}), true, "", "", {"ro/kept"}, {"tree", "x"}},
        {remove({entry("link", Kind::Folder)}), true, "", "", {"tree/deep/f"}, {"link"}},
        {remove({x, entry("missing", Kind::File)}), true, notAll, "", {"tree/"}, {"x"}},
        {remove({drive}), true, notAll, "", {"tree/deep/f"}, {}},
        {remove({entry("ro", Kind::Folder)}), false, notAll, "", {"ro/kept", "ro/sub/f"}, {}},
        {make("/"), true, "", "New Folder(2)", {"New Folder(2)/", "New Folder"}, {}},
        {make("/tree"), true, "", "New Folder", {"tree/New Folder/"}, {}},
        {make("/nope"), true, "No such file or directory", "", {}, {"nope"}},
        {make(""), true, "the drives hold no folders of their own", "", {}, {}},
        {make("/ro"), false, "Permission denied", "", {}, {"ro/New Folder"}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& r = rows[i];
        SCOPED_TRACE(i);
        Sandbox s;
        writeFile(s.d / "New Folder", "");
        fs::create_symlink(s.d / "gone", s.d / "New Folder(1)"); // taken, though it leads nowhere
        SideOutcome o{"never answered", {}};
        auto run = [&] { r.op(s, [&](SideOutcome answer) { o = answer; }); };
        r.privileged ? run() : unprivileged(run);
        EXPECT_EQ(o.error, r.error);
        EXPECT_EQ(o.name, r.name);
        for (std::string_view p : r.there)
            EXPECT_EQ(fs::symlink_status(s.d / p.substr(0, p.find_last_not_of('/') + 1)).type(),
                      p.ends_with('/') ? fs::file_type::directory : fs::file_type::regular) << p;
        for (const char* p : r.gone)
            EXPECT_FALSE(fs::exists(fs::symlink_status(s.d / p))) << p;
    }
}

// The files of a copy across and the message naming what was left out; the files Run... takes.
TEST(PcSide, CopyPlansAndRunTakeOnlyWhatTheOtherEndCanHold)
{
    Sandbox s;
    ASSERT_EQ(mkfifo((s.d / "fifo").c_str(), 0600), 0);
    writeFile(s.d / "a:b", "");
    writeFile(s.d / "..\\up", "");
    const std::string dir = s.d.path().string();
    writeFile(s.d / std::string(250, 'n'), ""); // too long beside the device folder
    const std::vector<std::string> paths{dir + "/x", dir + "/a:b", dir + "/..\\up", dir + "/fifo", dir + "/tree",
                                         dir + "/nope", dir + "/" + std::string(250, 'n')};
    CopyPlan send = PlanSendToDevice(paths, "\\My Documents");
    ASSERT_EQ(send.files.size(), 1u);
    EXPECT_EQ(send.files[0].devicePath, "\\My Documents\\x");
    EXPECT_EQ(send.files[0].size, fs::file_size(s.d / "x"));
    EXPECT_EQ(send.leftOut, "These are not files that can be sent, and were left out:\n" + paths[1] +
                                ": a device file name cannot hold ':'\n" + paths[2] +
                                ": a device file name cannot hold '\\'\n" + paths[3] + "\n" + paths[4] + "\n" +
                                paths[5] + "\n" + paths[6]);

    std::vector<PaneEntry> device{entry("\xE9.txt", Kind::File), entry("F", Kind::Folder), entry("..", Kind::File)};
    device[0].text = "\u00e9.txt";
    CopyPlan receive = PlanReceiveToPc(device, "\\d", dir);
    ASSERT_EQ(receive.files.size(), 1u);
    EXPECT_EQ(receive.files[0].pcPath, dir + "/\u00e9.txt");
    EXPECT_EQ(receive.files[0].devicePath, "\\d\\\xE9.txt");
    EXPECT_EQ(receive.leftOut, "These device names cannot be PC file names, and were left out:\n..");

    fs::permissions(s.d / "x", fs::perms(0700));
    EXPECT_TRUE(s.side.runnable(dir, entry("x", Kind::File)));
    EXPECT_FALSE(s.side.runnable(dir, entry("a:b", Kind::File)) || s.side.runnable(dir, entry("tree", Kind::Folder)));
}
