// Reads a .pst with npm's pst-extractor and prints what it found as one JSON object: per folder
// the number of contacts and distribution lists, and the names of every contact that has a
// surname (given, middle, surname, display name, file-as, Email1 display name, nickname).
//
//   node pst_extractor_read.js MODULE_DIR FILE.pst
'use strict';
const { PSTFile } = require(process.argv[2]);

const pst = new PSTFile(process.argv[3]);
const out = { folders: {}, names: {}, unreadable: 0 };

function walk(folder, path) {
  if (folder.contentCount > 0) {
    const counts = { contacts: 0, lists: 0, other: 0 };
    for (let item = folder.getNextChild(); item != null; item = folder.getNextChild()) {
      if (item.messageClass === 'IPM.Contact') {
        ++counts.contacts;
        if (item.surname) {
          out.names[item.nickname] = [item.givenName, item.middleName, item.surname,
            item.displayName, item.fileUnder, item.email1DisplayName];
        }
      } else if (item.messageClass === 'IPM.DistList') {
        ++counts.lists;
      } else {
        ++counts.other;
      }
    }
    // pst-extractor skips an item it cannot read (after a console message): count the gap.
    out.unreadable += folder.contentCount - counts.contacts - counts.lists - counts.other;
    out.folders[path] = counts;
  }
  if (folder.hasSubfolders) {
    for (const child of folder.getSubFolders()) walk(child, path + '/' + child.displayName);
  }
}

walk(pst.getRootFolder(), '');
pst.close();
process.stdout.write(JSON.stringify(out) + '\n');
