// The table of named damage and its application; see named_damage.h.
#include "tests/support/dbxgen/named_damage.h"

#include <functional>

#include "tests/support/dbxgen/layout.h"

namespace dbxgen {

const std::vector<NamedDamage>& DamageNames() {
  static const std::vector<NamedDamage> kNames = {
      {"cyclic-tree", "the last index node of the folder file names the root as its child"},
      {"overfull-node", "an index node of 52 entries claims 60 (folder gets fan-out 52)"},
      {"deep-tree", "the folder index is a chain, one node per message"},
      {"truncated", "the folder file loses its last 400 bytes (part of the index)"},
      {"truncated-half", "the folder file is cut to half its length"},
      {"truncated-header", "the folder file is cut inside its header (4096 bytes)"},
      {"wrong-signature", "the folder file's first word is 0xFE12ADCE"},
      {"wrong-kind", "the folder file carries the folder-list kind 0x6F74FDC6"},
      {"unknown-kind", "the folder file carries the kind 0x6F74FDC7"},
      {"root-zero", "the folder file's root offset is 0"},
      {"root-mid-node", "the folder file's root offset points 12 bytes into the root node"},
      {"bad-own-offset", "one message record fails the own-offset test"},
      {"shifted-record", "one message record lies 2 bytes after its indexed offset"},
      {"cyclic-chain", "one message's last body block points back to its first"},
      {"body-position-8", "one message's body position stays 8 after the data-area look-up"},
      {"body-position-12", "one message's body position stays 12 after the data-area look-up"},
      {"body-in-data-area", "one message's body position is found at data offset 8"},
      {"unterminated-text", "one message's subject has no zero byte within 8192 bytes"},
      {"unrepresentable-date", "one message's three dates have no calendar form"},
      {"overlong-segment", "one message's last body block claims 600 used bytes"},
      {"understated-count", "the folder list gives the folder one message, whatever its file holds"},
      {"overstated-count", "the folder list gives the folder 50 messages, whatever its file holds"},
      {"deleted", "one message deleted before compacting: body kept, record zeroed, not indexed"},
      {"list-cyclic-tree", "the folder list's last index node names the root as its child"},
      {"list-deep-tree", "the folder list's index is a chain"},
      {"list-truncated", "the folder list loses its last 400 bytes"},
      {"list-wrong-signature", "the folder list's first word is 0xFE12ADCE"},
      {"list-wrong-kind", "the folder list carries the folder-file kind 0x6F74FDC5"},
      {"list-unterminated-name", "one folder name has no zero byte within 255 bytes"},
  };
  return kNames;
}

namespace {

// Runs `change` on the message at `position` of `folder`, whether it is
// held in `messages` or comes from `source`.
void ChangeMessage(Folder& folder, std::size_t position, std::function<void(Message&)> change) {
  if (position < folder.messages.size()) {
    change(folder.messages[position]);
    return;
  }
  if (!folder.source) return;
  MessageSource inner = folder.source;
  folder.source = [inner, position, change](std::size_t at, Message& out) {
    if (!inner(at, out)) return false;
    if (at == position) change(out);
    return true;
  };
}

}  // namespace

Status ApplyDamage(std::string_view name, StoreSpec& spec, std::size_t folder_index,
                   std::size_t position) {
  if (name.rfind("list-", 0) == 0) {
    FileDamage& damage = spec.folder_list.damage;
    if (name == "list-cyclic-tree") damage.cyclic_tree = true;
    else if (name == "list-deep-tree") spec.folder_list.tree.shape = TreeOptions::Shape::kChain;
    else if (name == "list-truncated") damage.cut_tail = 400;
    else if (name == "list-wrong-signature") damage.wrong_signature = true;
    else if (name == "list-wrong-kind") damage.kind = kFolderFileKind;
    else if (name == "list-unterminated-name") {
      if (folder_index >= spec.folders.size()) return Status::Error("no folder to damage");
      spec.folders[folder_index].record.unterminated_name = true;
    } else {
      return Status::Error("unknown damage \"" + std::string(name) + "\"");
    }
    return Status::Ok();
  }
  if (folder_index >= spec.folders.size()) return Status::Error("no folder to damage");
  Folder& folder = spec.folders[folder_index];
  FileDamage& damage = folder.file.damage;
  auto message = [&](std::function<void(Message&)> change) {
    ChangeMessage(folder, position, std::move(change));
  };
  if (name == "cyclic-tree") damage.cyclic_tree = true;
  else if (name == "overfull-node") {
    damage.overfull_node = true;
    folder.file.tree.fan_out = kMaxNodeEntries;
  } else if (name == "deep-tree") folder.file.tree.shape = TreeOptions::Shape::kChain;
  else if (name == "truncated") damage.cut_tail = 400;
  else if (name == "truncated-half") damage.cut_half = true;
  else if (name == "truncated-header") damage.truncate_to = 4096;
  else if (name == "wrong-signature") damage.wrong_signature = true;
  else if (name == "wrong-kind") damage.kind = kFolderListKind;
  else if (name == "unknown-kind") damage.kind = kFolderListKind + 1;
  else if (name == "root-zero") damage.root_offset = 0;
  else if (name == "root-mid-node") damage.root_into_node = true;
  else if (name == "bad-own-offset") message([](Message& m) { m.damage.bad_own_offset = true; });
  else if (name == "shifted-record") message([](Message& m) { m.shifted_record = true; });
  else if (name == "understated-count") {
    folder.keep_counts = true;
    folder.record.message_count = 1;
    folder.record.unread_count = 0;
  } else if (name == "overstated-count") {
    folder.keep_counts = true;
    folder.record.message_count = 50;
  } else if (name == "cyclic-chain") message([](Message& m) { m.damage.cyclic_body_chain = true; });
  else if (name == "body-position-8") {
    message([](Message& m) { m.damage.unreadable_body_position = 8; });
  } else if (name == "body-position-12") {
    message([](Message& m) { m.damage.unreadable_body_position = 12; });
  } else if (name == "body-in-data-area") {
    message([](Message& m) { m.body_position_in_data_area = 8; });
  } else if (name == "unterminated-text") {
    message([](Message& m) { m.damage.unterminated_subject = true; });
  } else if (name == "unrepresentable-date") {
    message([](Message& m) { m.damage.unrepresentable_dates = true; });
  } else if (name == "deleted") {
    message([](Message& m) { m.damage.deleted = true; });
  } else if (name == "overlong-segment") {
    message([](Message& m) { m.damage.overlong_last_segment = true; });
  } else {
    return Status::Error("unknown damage \"" + std::string(name) + "\"");
  }
  return Status::Ok();
}

}  // namespace dbxgen
