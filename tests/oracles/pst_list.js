// Lists a PST through pst-extractor: one line per folder ("F <path> <count>")
// and per message ("M <path> <subject>"), for the PST writer's tests.
'use strict';
const { PSTFile } = require('pst-extractor');

function walk(folder, path) {
  console.log(`F ${path} ${folder.contentCount}`);
  if (folder.contentCount > 0) {
    let msg = folder.getNextChild();
    while (msg != null) {
      console.log(`M ${path} ${msg.subject}`);
      msg = folder.getNextChild();
    }
  }
  if (folder.hasSubfolders) {
    for (const child of folder.getSubFolders()) walk(child, `${path}/${child.displayName}`);
  }
}

const pst = new PSTFile(process.argv[2]);
console.log(`S ${pst.getMessageStore().displayName}`);
walk(pst.getRootFolder(), '');
