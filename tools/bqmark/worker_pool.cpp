#include "tools/bqmark/worker_pool.h"

#include <optional>
#include <stdexcept>

#include "scoring/answer_files.h"

namespace bq::mark {
namespace {

// Job and mark lines without their line break (JSON text holds none of its own).
std::string line(const nlohmann::json& j) {
  std::string text = jsonLine(j);
  text.pop_back();
  return text;
}

Result unmarked(const Job& job, std::string note) { return {job, unreadAnswer(job.points, note)}; }

}  // namespace

void markOnPool(const std::vector<Job>& jobs, const PoolOptions& options,
                const std::function<void(Result)>& done) {
  std::vector<std::string> requests;
  requests.reserve(jobs.size());
  for (const Job& job : jobs) requests.push_back(line(jobToJson(job)));
  shell::WorkerPoolOptions pool;
  pool.workers = options.workers;
  pool.requestTimeout = options.jobTimeout;
  const bool residentOffice = options.residentOffice;
  shell::runOnWorkers(
      requests, pool, [residentOffice](shell::WorkerChannel& c) { serveJobs(c, residentOffice); },
      [&](size_t index, std::string answer) {
        Result r{jobs[index], {}};
        try {
          r.mark = markFromJson(nlohmann::json::parse(answer));
        } catch (const std::exception& e) {
          r = unmarked(jobs[index], std::string(kNoteWorkerDied) + "：" + e.what());
        }
        done(std::move(r));
      },
      [&](size_t index, const shell::WorkerLoss& why) {
        if (why.kind == shell::WorkerLoss::Kind::kTimedOut) {
          done(unmarked(jobs[index], std::string(kNoteTimedOut)));
          return;
        }
        std::string note(kNoteWorkerDied);
        if (why.signal != 0) note += "（信号 " + std::to_string(why.signal) + "）";
        done(unmarked(jobs[index], std::move(note)));
      });
}

void serveJobs(shell::WorkerChannel& channel, bool residentOffice) {
  std::optional<scoring::ResidentOffice> resident;
  if (residentOffice) resident.emplace();
  Marker marker;
  while (std::optional<std::string> request = channel.nextRequest()) {
    const Job job = jobFromJson(nlohmann::json::parse(*request));
    const Mark mark = markJob(marker, job);
    if (!channel.answer(line(markToJson(mark)))) return;
  }
}

}  // namespace bq::mark
