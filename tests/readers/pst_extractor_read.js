// Reads a .pst with npm's pst-extractor and prints one JSON object: how many contacts, lists and
// other items it found in all folders, how many items it could not read, and the names of every
// contact that has a surname, by nickname: [given, middle, surname, display name, file-as,
// Email1 display name].
//
//   node pst_extractor_read.js MODULE_DIR FILE.pst
'use strict';
const { PSTFile } = require(process.argv[2]);

const pst = new PSTFile(process.argv[3]);
const out = { contacts: 0, lists: 0, other: 0, unreadable: 0, names: {} };

function walk(folder) {
  let read = 0;
  for (let item = folder.getNextChild(); item != null; item = folder.getNextChild(), ++read) {
    if (item.messageClass === 'IPM.Contact') {
      ++out.contacts;
      if (item.surname) {
        out.names[item.nickname] = [item.givenName, item.middleName, item.surname,
          item.displayName, item.fileUnder, item.email1DisplayName];
      }
    } else if (item.messageClass === 'IPM.DistList') {
      ++out.lists;
    } else {
      ++out.other;
    }
  }
  // pst-extractor skips an item it cannot read (with a console message): count the gap.
  out.unreadable += folder.contentCount - read;
  if (folder.hasSubfolders) folder.getSubFolders().forEach(walk);
}

walk(pst.getRootFolder());
pst.close();
process.stdout.write(JSON.stringify(out) + '\n');
